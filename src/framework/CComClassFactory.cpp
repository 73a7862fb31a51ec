#include "CComClassFactory.h"

#include "CAtlModule.h"

HRESULT CComClassFactory::InternalQueryInterface(REFIID iid, void** out) {
  if (InlineIsEqualGUID(iid, IID_IUnknown) || InlineIsEqualGUID(iid, IID_IClassFactory)) {
    IClassFactory* self = this;
    self->AddRef();
    *out = self;
    return S_OK;
  }
  return E_NOINTERFACE;
}

// IClassFactory

HRESULT CComClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  // An aggregate must get the inner unknown, or it could not control it.
  if (outer && !InlineIsEqualGUID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  if (!m_creator) return E_UNEXPECTED;
  return m_creator(outer, iid, out);
}

HRESULT CComClassFactory::LockServer(BOOL lock) {
  if (lock)
    CAtlModule::Current()->LockServer();
  else
    CAtlModule::Current()->UnlockServer();
  return S_OK;
}
