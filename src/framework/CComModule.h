// The library's module object: the object map with its cached class objects,
// and start-up and shut-down of the component part of the library.
#pragma once

#include "CAtlModule.h"
#include "ObjectMapEntry.h"

#include <string>

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

  // Self-registration: each class's updateRegistry (of clsid only, when
  // given) in the map's order, stopping at the first failure, then the type
  // library.
  HRESULT RegisterServer(BOOL registerTypeLib, const CLSID* clsid = nullptr);
  HRESULT UnregisterServer(BOOL unregisterTypeLib, const CLSID* clsid = nullptr);

  HINSTANCE instance() const { return m_instance; }
  // The full path of module instance; fails with the last error, or with
  // ERROR_INSUFFICIENT_BUFFER (0x8007007A) when it does not fit in MAX_PATH
  // characters with its terminating NUL.
  static HRESULT ModulePath(HINSTANCE instance, std::wstring& path);
  const GUID* libid() const { return m_libid; }

 private:
  // The type library from the library's file (or the ".tlb" beside it).
  HRESULT RegisterTypeLibrary();
  HRESULT UnregisterTypeLibrary();

  ObjectMapEntry* m_objectMap = nullptr;  // borrowed: the library's constant map
  HINSTANCE m_instance = nullptr;         // borrowed: this library's module
  const GUID* m_libid = nullptr;          // borrowed: a constant
  bool m_initialized = false;
  // Serialises the first creation of each class object. Lives from static
  // construction to static destruction, past Terminate.
  CRITICAL_SECTION m_objectMapLock;
};
