// Vellisto.dll loaded by path for one test, as a host loads it before the
// library is registered, with its four exports. Unloaded at the end, after
// the test has released everything.
#pragma once

#include "ComPtr.h"
#include "KivHost.h"
#include "Vellisto.h"

#include <string>

class VellistoDll {
 public:
  VellistoDll();
  ~VellistoDll();
  VellistoDll(const VellistoDll&) = delete;
  VellistoDll& operator=(const VellistoDll&) = delete;

  static std::wstring Path();
  // The platform the library is built for, as its type library and its
  // registration name it: "win64" in a 64-bit build, "win32" in a 32-bit one.
  static constexpr const char* kPlatform = sizeof(void*) == 8 ? "win64" : "win32";
  static constexpr SYSKIND kSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
  bool loaded() const { return m_module != nullptr; }
  HMODULE module() const { return m_module; }
  // Unloads now; true when the library is gone from the process afterwards.
  bool Unload();

  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const;
  HRESULT CanUnloadNow() const;
  HRESULT RegisterServer() const;
  HRESULT UnregisterServer() const;

  // Shortcuts over the class objects.
  HRESULT CreateFormat(IKivFileFormat** out) const;
  ComPtr<IClassFactory> Factory(REFCLSID clsid) const;

 private:
  typedef HRESULT(WINAPI* GetClassObjectFunc)(REFCLSID, REFIID, void**);
  typedef HRESULT(WINAPI* NoArgFunc)();

  HMODULE m_module = nullptr;  // owned: FreeLibrary
  // borrowed: exports of m_module, valid while it is loaded
  GetClassObjectFunc m_getClassObject = nullptr;
  NoArgFunc m_canUnloadNow = nullptr;
  NoArgFunc m_registerServer = nullptr;
  NoArgFunc m_unregisterServer = nullptr;
};
