#include "CVellistoApp.h"

#include "CWnd.h"
#include "Globals.h"
#include "ModuleState.h"
#include "ObjectMap.h"
#include "ProxyStub.h"
#include "SharedKey.h"
#include "Vellisto.h"

bool CVellistoApp::InitInstance() {
  const HINSTANCE instance = g_moduleState.instance();
  if (!g_moduleState.valid() || !instance) return false;
  ProxyStubSetModule(instance);
  // The preview keeps its settings keys open between windows, and no longer
  // than some object of the library lives.
  g_module.SetIdleHandler(SharedKey::CloseAll);
  return SUCCEEDED(g_module.Initialize(g_objectMap, instance, &LIBID_VELLISTOLib));
}

int CVellistoApp::ExitInstance() {
  g_module.Terminate();
  // The preview's window class would outlive the library and point into it.
  CWnd::UnregisterWindowClasses();
  return 0;
}
