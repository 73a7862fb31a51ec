// The library's entry point and its four exports (undecorated through
// Vellisto.def).
#include "DibHolder.h"
#include "Globals.h"
#include "HResultFromCaughtException.h"
#include "ModuleState.h"
#include "ModuleStateGuard.h"
#include "ProxyStub.h"
#include "RegistryScript.h"
#include "SpareChunks.h"
#include "Vellisto.h"

namespace {

bool g_attached = false;  // InitInstance succeeded and ExitInstance has not run yet

BOOL Attach(HINSTANCE instance) {
  ModuleStateGuard guard;
  g_moduleState.SetInstance(instance);
  if (!g_app.InitInstance()) {
    g_app.ExitInstance();
    return FALSE;
  }
  g_attached = true;
  return TRUE;
}

void Detach() {
  if (!g_attached) return;
  ModuleStateGuard guard;
  g_app.ExitInstance();
  g_attached = false;
  SpareChunks::FreeAll();  // what closed documents left for the next
}

// The process is ending (ExitProcess): the system has already ended every
// other thread, wherever it was, and what such a thread held (the window
// system's lock, a COM apartment, a lock of ours) stays held. So nothing is
// released, unregistered or freed here or by the destruction of the
// globals that follows: the system takes it all back with the process.
void ProcessEnds() {
  g_attached = false;
  g_dibHolder.Abandon();
}

// Every step names the library by its full path: a path that does not fit
// is refused before anything is written or removed.
HRESULT CheckModulePath() {
  std::wstring path;
  return CComModule::ModulePath(g_module.instance(), path);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
  try {
    switch (reason) {
      case DLL_PROCESS_ATTACH: return Attach(instance);
      case DLL_PROCESS_DETACH:
        // reserved is null for FreeLibrary, and not null at process exit.
        if (reserved) {
          ProcessEnds();
        } else {
          Detach();
        }
        break;
      default: break;  // nothing of the library is kept per thread
    }
    return TRUE;
  } catch (...) {
    // The loader hears only yes or no: any failure refuses the load.
    return SUCCEEDED(HResultFromCaughtException());
  }
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  try {
    // The proxy/stub layer answers only for its own class.
    if (ProxyStubGetClassObject(clsid, iid, out) == S_OK) return S_OK;
    return g_module.GetClassObject(clsid, iid, out);
  } catch (...) {
    *out = nullptr;
    return HResultFromCaughtException(E_UNEXPECTED);
  }
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
  try {
    if (ProxyStubCanUnloadNow() != S_OK) return S_FALSE;
    ModuleStateGuard guard;
    return g_module.GetLockCount() == 0 ? S_OK : S_FALSE;
  } catch (...) {
    // S_OK and S_FALSE are the only answers: any failure keeps the library.
    return FAILED(HResultFromCaughtException()) ? S_FALSE : S_OK;
  }
}

// The proxy/stub first: when it cannot be registered, nothing else is.
// What is registered before a later failure stays registered.
extern "C" HRESULT WINAPI DllRegisterServer() {
  try {
    HRESULT hr = CheckModulePath();
    if (FAILED(hr)) return hr;
    hr = ProxyStubRegister();
    if (FAILED(hr)) return hr;
    return g_module.RegisterServer(TRUE);
  } catch (...) {
    return HResultFromCaughtException();
  }
}

// The proxy/stub's removal result does not count: the scripts' and the
// type library's do. What another copy of the library registered (its
// proxy/stub, its type library, its classes) stays.
extern "C" HRESULT WINAPI DllUnregisterServer() {
  try {
    const HRESULT hr = CheckModulePath();
    if (FAILED(hr)) return hr;
    const HINSTANCE module = g_module.instance();
    wchar_t id[40];
    StringFromGUID2(CLSID_VellistoProxyStub, id, 40);
    if (!NamesAnotherModule(std::wstring(L"CLSID\\") + id + L"\\InProcServer32", module))
      ProxyStubUnregister();
    StringFromGUID2(LIBID_VELLISTOLib, id, 40);
    const wchar_t* platform = sizeof(void*) == 8 ? L"win64" : L"win32";
    const bool ownLibrary =
        !NamesAnotherModule(std::wstring(L"TypeLib\\") + id + L"\\1.0\\409\\" + platform, module);
    return g_module.UnregisterServer(ownLibrary ? TRUE : FALSE);
  } catch (...) {
    return HResultFromCaughtException();
  }
}
