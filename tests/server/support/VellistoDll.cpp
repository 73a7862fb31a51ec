#include "VellistoDll.h"

#include "ProgramFolder.h"

namespace {

template <class F>
F Export(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

// Beside this program, in the build tree and in the installed tree alike.
std::wstring VellistoDll::Path() { return ProgramFolder() + L"Vellisto.dll"; }

VellistoDll::VellistoDll() {
  m_module = LoadLibraryW(Path().c_str());
  if (!m_module) return;
  m_getClassObject = Export<GetClassObjectFunc>(m_module, "DllGetClassObject");
  m_canUnloadNow = Export<NoArgFunc>(m_module, "DllCanUnloadNow");
  m_registerServer = Export<NoArgFunc>(m_module, "DllRegisterServer");
  m_unregisterServer = Export<NoArgFunc>(m_module, "DllUnregisterServer");
}

VellistoDll::~VellistoDll() { Unload(); }

bool VellistoDll::Unload() {
  if (m_module) FreeLibrary(m_module);
  m_module = nullptr;
  return GetModuleHandleW(L"Vellisto.dll") == nullptr;
}

HRESULT VellistoDll::GetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
  return m_getClassObject ? m_getClassObject(clsid, iid, out) : E_UNEXPECTED;
}

HRESULT VellistoDll::CanUnloadNow() const {
  return m_canUnloadNow ? m_canUnloadNow() : E_UNEXPECTED;
}

HRESULT VellistoDll::RegisterServer() const {
  return m_registerServer ? m_registerServer() : E_UNEXPECTED;
}

HRESULT VellistoDll::UnregisterServer() const {
  return m_unregisterServer ? m_unregisterServer() : E_UNEXPECTED;
}

ComPtr<IClassFactory> VellistoDll::Factory(REFCLSID clsid) const {
  ComPtr<IClassFactory> factory;
  GetClassObject(clsid, IID_IClassFactory, factory.put_void());
  return factory;
}

HRESULT VellistoDll::CreateFormat(IKivFileFormat** out) const {
  *out = nullptr;
  ComPtr<IClassFactory> factory;
  const HRESULT hr = GetClassObject(CLSID_TvdFormat, IID_IClassFactory, factory.put_void());
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(nullptr, IID_IKivFileFormat, reinterpret_cast<void**>(out));
}
