#include "CComModule.h"

#include "ComPtr.h"
#include "CriticalSectionLock.h"
#include "UniqueBstr.h"

#include <string>

namespace {

// The type library from the library's file, or else from the ".tlb" file
// beside it; path receives the file it came from.
HRESULT LoadOwnTypeLib(HINSTANCE instance, ComPtr<ITypeLib>& lib, std::wstring& path) {
  HRESULT hr = CComModule::ModulePath(instance, path);
  if (FAILED(hr)) return hr;
  hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.put());
  if (SUCCEEDED(hr)) return hr;
  const size_t slash = path.find_last_of(L'\\');
  const size_t dot = path.find_last_of(L'.');
  if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) path.erase(dot);
  path += L".tlb";
  return LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.put());
}

}  // namespace

HRESULT CComModule::ModulePath(HINSTANCE instance, std::wstring& path) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetModuleFileNameW(instance, buffer, MAX_PATH);
  if (length == 0) {
    const DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
  }
  if (length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  path.assign(buffer, length);
  return S_OK;
}

CComModule::CComModule() { InitializeCriticalSection(&m_objectMapLock); }

CComModule::~CComModule() { DeleteCriticalSection(&m_objectMapLock); }

HRESULT CComModule::Initialize(ObjectMapEntry* objectMap, HINSTANCE instance, const GUID* libid) {
  m_objectMap = objectMap;
  m_instance = instance;
  m_libid = libid;
  m_initialized = true;
  for (ObjectMapEntry* entry = m_objectMap; entry && entry->clsid; ++entry)
    if (entry->objectMain) entry->objectMain(true);
  return S_OK;
}

void CComModule::Terminate() {
  if (!m_initialized) return;
  m_initialized = false;
  for (ObjectMapEntry* entry = m_objectMap; entry && entry->clsid; ++entry) {
    // The cached class object goes before its class hears that the module ends.
    ComPtr<IUnknown>(entry->classObject.exchange(nullptr)).Reset();
    if (entry->objectMain) entry->objectMain(false);
  }
  // No termination callbacks are registered by any part of the library.
}

HRESULT CComModule::GetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!m_initialized) return CLASS_E_CLASSNOTAVAILABLE;
  for (ObjectMapEntry* entry = m_objectMap; entry->clsid; ++entry) {
    if (!entry->createClassObject || !InlineIsEqualGUID(clsid, *entry->clsid)) continue;
    HRESULT hr = S_OK;
    if (!entry->classObject.load()) {
      CriticalSectionLock lock(m_objectMapLock);
      if (!entry->classObject.load()) {
        IUnknown* created = nullptr;
        hr = entry->createClassObject(reinterpret_cast<void*>(entry->createInstance), IID_IUnknown,
                                      reinterpret_cast<void**>(&created));
        if (SUCCEEDED(hr)) entry->classObject.store(created);
      }
    }
    if (IUnknown* classObject = entry->classObject.load())
      hr = classObject->QueryInterface(iid, out);
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CComModule::RegisterServer(BOOL registerTypeLib, const CLSID* clsid) {
  HRESULT hr = S_OK;
  for (ObjectMapEntry* entry = m_objectMap; entry && entry->clsid; ++entry) {
    if (clsid && !InlineIsEqualGUID(*clsid, *entry->clsid)) continue;
    hr = entry->updateRegistry(TRUE);
    if (FAILED(hr)) return hr;
    // The classes name no component categories: nothing more to register.
  }
  if (registerTypeLib) hr = RegisterTypeLibrary();
  return hr;
}

HRESULT CComModule::UnregisterServer(BOOL unregisterTypeLib, const CLSID* clsid) {
  HRESULT hr = S_OK;
  for (ObjectMapEntry* entry = m_objectMap; entry && entry->clsid; ++entry) {
    if (clsid && !InlineIsEqualGUID(*clsid, *entry->clsid)) continue;
    hr = entry->updateRegistry(FALSE);
    if (FAILED(hr)) return hr;
  }
  if (unregisterTypeLib) hr = UnregisterTypeLibrary();
  return hr;
}

HRESULT CComModule::RegisterTypeLibrary() {
  ComPtr<ITypeLib> lib;
  std::wstring path;
  HRESULT hr = LoadOwnTypeLib(m_instance, lib, path);
  if (FAILED(hr)) return hr;
  UniqueBstr helpFile;
  lib->GetDocumentation(-1, nullptr, nullptr, nullptr, helpFile.put());
  // The library names no help file, so there is no help folder to pass.
  return RegisterTypeLib(lib.get(), &path[0], nullptr);
}

HRESULT CComModule::UnregisterTypeLibrary() {
  ComPtr<ITypeLib> lib;
  std::wstring path;
  HRESULT hr = LoadOwnTypeLib(m_instance, lib, path);
  if (FAILED(hr)) return hr;
  TLIBATTR* attr = nullptr;
  if (FAILED(hr = lib->GetLibAttr(&attr))) return hr;
  const TLIBATTR copy = *attr;
  lib->ReleaseTLibAttr(attr);
  return UnRegisterTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid,
                           copy.syskind);
}
