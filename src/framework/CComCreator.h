// Creates one object form (CComObject<T>, CComAggObject<T> or
// CComObjectCached<CComClassFactory>) and answers a QueryInterface on it.
// On any failure nothing stays allocated and the lock count is unchanged.
#pragma once

#include <windows.h>

#include <new>

typedef HRESULT(WINAPI* CreatorFunc)(void* arg, REFIID iid, void** out);

template <class T>
class CComCreator {
 public:
  // arg: the outer unknown for an aggregate form, the instance creator for a
  // class object, null for the stand-alone form.
  static HRESULT WINAPI CreateInstance(void* arg, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    T* object = nullptr;
    try {
      object = new (std::nothrow) T(arg);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    if (!object) return E_OUTOFMEMORY;
    object->SetVoid(arg);
    object->InternalFinalConstructAddRef();
    HRESULT hr = object->FinalConstruct();
    object->InternalFinalConstructRelease();
    if (SUCCEEDED(hr)) hr = object->QueryInterface(iid, out);
    if (FAILED(hr)) delete object;
    return hr;
  }
};
