// The form of a component class created inside an aggregate. This object is
// the inner, non-delegating unknown: it keeps the count, answers IUnknown with
// itself and everything else from the contained object's interfaces.
#pragma once

#include "CAtlModule.h"
#include "CComContainedObject.h"

template <class Contained>
class CComAggObject final : public IUnknown,
                            public CComObjectRootEx<typename Contained::_ThreadModel> {
 public:
  explicit CComAggObject(void* outer) : m_contained(outer) { CAtlModule::Current()->Lock(); }

  ~CComAggObject() {
    this->m_refCount = CComObjectRootBase::kDestroyingRefCount;
    FinalRelease();
    CAtlModule::Current()->Unlock();
  }

  HRESULT FinalConstruct() { return m_contained.FinalConstruct(); }
  void FinalRelease() { m_contained.FinalRelease(); }

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
    if (InlineIsEqualGUID(iid, IID_IUnknown)) {
      *out = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return m_contained.InternalQueryInterface(iid, out);
  }

 private:
  CComContainedObject<Contained> m_contained;  // owned, by value
};
