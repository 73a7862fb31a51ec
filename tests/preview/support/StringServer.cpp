// KivStrings.dll: the fake string component as an in-process server, for
// the one test that reaches it through the registry.
#include "FakeStringSource.h"

namespace {

StringSourceScript g_script = [] {
  StringSourceScript script;
  script.text = L"From the registered server";
  return script;
}();
StringSourceLog g_log;

}  // namespace

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!InlineIsEqualGUID(clsid, CLSID_KivStringSource)) return CLASS_E_CLASSNOTAVAILABLE;
  ComPtr<IClassFactory> factory = NewStringSourceFactory(&g_script, &g_log);
  return factory ? factory->QueryInterface(iid, out) : E_OUTOFMEMORY;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }
