// The class object of one class: IClassFactory over the class's instance
// creator. The object map caches it as CComObjectCached<CComClassFactory>.
#pragma once

#include "CComCreator.h"
#include "CComObjectRootEx.h"

class CComClassFactory : public IClassFactory, public CComObjectRootEx<CComMultiThreadModelNoCS> {
 public:
  CComClassFactory() = default;

  // The creator passes the instance creator of the map entry.
  void SetVoid(void* creator) { m_creator = reinterpret_cast<CreatorFunc>(creator); }
  HRESULT InternalQueryInterface(REFIID iid, void** out);

  // IClassFactory
  STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** out) override;
  STDMETHOD(LockServer)(BOOL lock) override;

 private:
  CreatorFunc m_creator = nullptr;  // borrowed: a function of the class
};
