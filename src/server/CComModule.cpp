#include "CComModule.h"

#include "ComPtr.h"
#include "CriticalSectionLock.h"

CComModule::CComModule() { InitializeCriticalSection(&objectMapLock_); }

CComModule::~CComModule() { DeleteCriticalSection(&objectMapLock_); }

HRESULT CComModule::Initialize(ObjectMapEntry* objectMap, HINSTANCE instance, const GUID* libid) {
  objectMap_ = objectMap;
  instance_ = instance;
  libid_ = libid;
  initialized_ = true;
  for (ObjectMapEntry* entry = objectMap_; entry && entry->clsid; ++entry)
    if (entry->objectMain) entry->objectMain(true);
  return S_OK;
}

void CComModule::Terminate() {
  if (!initialized_) return;
  initialized_ = false;
  for (ObjectMapEntry* entry = objectMap_; entry && entry->clsid; ++entry) {
    // The cached class object goes before its class hears that the module ends.
    ComPtr<IUnknown>(entry->classObject.exchange(nullptr)).Reset();
    if (entry->objectMain) entry->objectMain(false);
  }
  // No termination callbacks are registered by any part of the library.
}

HRESULT CComModule::GetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!initialized_) return CLASS_E_CLASSNOTAVAILABLE;
  for (ObjectMapEntry* entry = objectMap_; entry->clsid; ++entry) {
    if (!entry->createClassObject || !InlineIsEqualGUID(clsid, *entry->clsid)) continue;
    HRESULT hr = S_OK;
    if (!entry->classObject.load()) {
      CriticalSectionLock lock(objectMapLock_);
      if (!entry->classObject.load()) {
        IUnknown* created = nullptr;
        hr = entry->createClassObject(reinterpret_cast<void*>(entry->createInstance), IID_IUnknown,
                                      reinterpret_cast<void**>(&created));
        if (SUCCEEDED(hr)) entry->classObject.store(created);
      }
    }
    if (IUnknown* classObject = entry->classObject.load()) hr = classObject->QueryInterface(iid, out);
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CComModule::RegisterServer(BOOL, const CLSID*) { return E_NOTIMPL; }

HRESULT CComModule::UnregisterServer(BOOL, const CLSID*) { return E_NOTIMPL; }

HRESULT CComModule::RunScript(UINT, BOOL) { return E_NOTIMPL; }
