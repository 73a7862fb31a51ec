// The form of a class object that the object map caches. The map's own
// reference does not keep the library loaded: the object holds a module lock
// only while someone else holds it too (count 2 or more).
#pragma once

#include "CAtlModule.h"
#include "CComObjectRootEx.h"

template <class Base>
class CComObjectCached final : public Base {
 public:
  typedef Base _BaseClass;

  explicit CComObjectCached(void* = nullptr) {}

  ~CComObjectCached() {
    this->m_refCount = CComObjectRootBase::kDestroyingRefCount;
    this->FinalRelease();
  }

  STDMETHOD_(ULONG, AddRef)() override {
    const ULONG count = this->InternalAddRef();
    if (count == 2) CAtlModule::Current()->Lock();
    return count;
  }

  STDMETHOD_(ULONG, Release)() override {
    const ULONG count = this->InternalRelease();
    if (count == 0)
      delete this;
    else if (count == 1)
      CAtlModule::Current()->Unlock();
    return count;
  }

  STDMETHOD(QueryInterface)(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return this->InternalQueryInterface(iid, out);
  }
};
