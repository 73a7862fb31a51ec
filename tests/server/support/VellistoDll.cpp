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
  module_ = LoadLibraryW(Path().c_str());
  if (!module_) return;
  getClassObject_ = Export<GetClassObjectFunc>(module_, "DllGetClassObject");
  canUnloadNow_ = Export<NoArgFunc>(module_, "DllCanUnloadNow");
  registerServer_ = Export<NoArgFunc>(module_, "DllRegisterServer");
  unregisterServer_ = Export<NoArgFunc>(module_, "DllUnregisterServer");
}

VellistoDll::~VellistoDll() { Unload(); }

bool VellistoDll::Unload() {
  if (module_) FreeLibrary(module_);
  module_ = nullptr;
  return GetModuleHandleW(L"Vellisto.dll") == nullptr;
}

HRESULT VellistoDll::GetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
  return getClassObject_ ? getClassObject_(clsid, iid, out) : E_UNEXPECTED;
}

HRESULT VellistoDll::CanUnloadNow() const { return canUnloadNow_ ? canUnloadNow_() : E_UNEXPECTED; }

HRESULT VellistoDll::RegisterServer() const { return registerServer_ ? registerServer_() : E_UNEXPECTED; }

HRESULT VellistoDll::UnregisterServer() const {
  return unregisterServer_ ? unregisterServer_() : E_UNEXPECTED;
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
