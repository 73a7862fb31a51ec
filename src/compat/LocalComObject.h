// Reference counting for the small COM objects a process makes for itself
// (the reference host's components, test doubles): the object implements
// Interfaces, answers QueryInterface itself and is deleted at its last
// Release (Windows only).
#pragma once

#include "ComPtr.h"

#include <atomic>

template <class... Interfaces>
class LocalComObject : public Interfaces... {
 public:
  STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
  STDMETHOD_(ULONG, Release)() override {
    const ULONG count = --m_refs;
    if (count == 0) delete this;
    return count;
  }

 protected:
  LocalComObject() = default;
  virtual ~LocalComObject() = default;

  // QueryInterface's answer: the interface pointer given, with a reference
  // for the caller, or E_NOINTERFACE for null. out must not be null.
  HRESULT Answer(IUnknown* itf, void** out) {
    *out = itf;
    if (!itf) return E_NOINTERFACE;
    itf->AddRef();
    return S_OK;
  }

 private:
  std::atomic<ULONG> m_refs{0};
};
