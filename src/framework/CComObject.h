// The stand-alone form of a component class: it keeps its own count, holds a
// module lock from construction to destruction, and answers QueryInterface
// from the class's interfaces.
#pragma once

#include "CAtlModule.h"

#include <new>

template <class Base>
class CComObject final : public Base {
 public:
  typedef Base _BaseClass;

  explicit CComObject(void* = nullptr) { CAtlModule::Current()->Lock(); }

  // Unlocks and then lets the class clean up (~Base runs after this body).
  ~CComObject() {
    this->m_refCount = CComObjectRootBase::kDestroyingRefCount;
    this->FinalRelease();
    CAtlModule::Current()->Unlock();
  }

  STDMETHOD_(ULONG, AddRef)() override { return this->InternalAddRef(); }

  STDMETHOD_(ULONG, Release)() override {
    const ULONG count = this->InternalRelease();
    if (count == 0) {
      ModuleLockHelper lock;
      delete this;
    }
    return count;
  }

  STDMETHOD(QueryInterface)(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return this->InternalQueryInterface(iid, out);
  }

  void InternalFinalConstructAddRef() { this->InternalAddRef(); }
  void InternalFinalConstructRelease() { this->InternalRelease(); }

  // A new object with a count of 0 (the caller takes the first reference),
  // or E_OUTOFMEMORY, or the failure of its construction steps.
  static HRESULT WINAPI CreateInstance(CComObject<Base>** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    CComObject<Base>* object = nullptr;
    try {
      object = new (std::nothrow) CComObject<Base>();
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    if (!object) return E_OUTOFMEMORY;
    object->SetVoid(nullptr);
    object->InternalFinalConstructAddRef();
    const HRESULT hr = object->FinalConstruct();
    object->InternalFinalConstructRelease();
    if (FAILED(hr)) {
      delete object;
      return hr;
    }
    *out = object;
    return S_OK;
  }
};
