// A component class living inside a CComAggObject: its IUnknown methods
// forward to the outer object, so all its interfaces speak with the
// aggregate's identity.
#pragma once

#include "CComObjectRootEx.h"

template <class Base>
class CComContainedObject final : public Base {
 public:
  typedef Base _BaseClass;

  explicit CComContainedObject(void* outer) { this->m_outer = static_cast<IUnknown*>(outer); }

  STDMETHOD_(ULONG, AddRef)() override { return this->OuterAddRef(); }
  STDMETHOD_(ULONG, Release)() override { return this->OuterRelease(); }
  STDMETHOD(QueryInterface)(REFIID iid, void** out) override {
    return this->OuterQueryInterface(iid, out);
  }

  // The aggregate's outer unknown, for classes that ask for their
  // controlling unknown (a virtual of theirs when they have one).
  IUnknown* GetControllingUnknown() { return this->m_outer; }
};
