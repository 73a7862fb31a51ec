// The library's module object: the object map with its cached class objects,
// and start-up and shut-down of the component part of the library.
#pragma once

#include "CAtlModule.h"
#include "ObjectMapEntry.h"

class CComModule : public CAtlModule {
 public:
  CComModule();
  ~CComModule() override;

  // Records the map, the module handle and the type library's identifier and
  // starts every class (objectMain with true).
  HRESULT Initialize(ObjectMapEntry* objectMap, HINSTANCE instance, const GUID* libid);
  // Releases the cached class objects and ends every class. Runs once; later
  // calls do nothing.
  void Terminate();

  // The class object of clsid, created on first request, queried for iid.
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out);

  // Self-registration (not yet supported: E_NOTIMPL).
  HRESULT RegisterServer(BOOL registerTypeLib, const CLSID* clsid = nullptr);
  HRESULT UnregisterServer(BOOL unregisterTypeLib, const CLSID* clsid = nullptr);
  HRESULT RunScript(UINT resourceId, BOOL doRegister);

  HINSTANCE instance() const { return instance_; }
  const GUID* libid() const { return libid_; }

 private:
  ObjectMapEntry* objectMap_ = nullptr;  // borrowed: the library's constant map
  HINSTANCE instance_ = nullptr;         // borrowed: this library's module
  const GUID* libid_ = nullptr;          // borrowed: a constant
  bool initialized_ = false;
  // Serialises the first creation of each class object. Lives from static
  // construction to static destruction, past Terminate.
  CRITICAL_SECTION objectMapLock_;
};
