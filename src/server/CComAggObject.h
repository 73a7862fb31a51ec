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
  explicit CComAggObject(void* outer) : contained_(outer) { CAtlModule::Current()->Lock(); }

  ~CComAggObject() {
    this->refCount_ = CComObjectRootBase::kDestroyingRefCount;
    FinalRelease();
    CAtlModule::Current()->Unlock();
  }

  HRESULT FinalConstruct() { return contained_.FinalConstruct(); }
  void FinalRelease() { contained_.FinalRelease(); }

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
    return contained_.InternalQueryInterface(iid, out);
  }

 private:
  CComContainedObject<Contained> contained_;  // owned, by value
};
