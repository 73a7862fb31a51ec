#pragma once

#include <windows.h>

// A test aggregate: an outer object that exposes the inner object's
// interfaces as its own, the way a host that aggregates the plugin would.
// The test owns `inner` and releases it; `refs` counts the outer object's
// own references, so that a test can see the inner object give back every
// reference it took on its outer unknown.
class TestAggregate : public IUnknown {
 public:
  STDMETHOD(QueryInterface)(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (InlineIsEqualGUID(iid, IID_IUnknown)) {
      *out = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return m_inner ? m_inner->QueryInterface(iid, out) : E_NOINTERFACE;
  }
  STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(++m_refs); }
  STDMETHOD_(ULONG, Release)() override { return static_cast<ULONG>(--m_refs); }

  LONG m_refs = 1;
  IUnknown* m_inner = nullptr;
};
