#include "CVellistoApp.h"

#include "Globals.h"
#include "ModuleState.h"
#include "ObjectMap.h"
#include "ProxyStub.h"
#include "Vellisto.h"

bool CVellistoApp::InitInstance() {
  const HINSTANCE instance = g_moduleState.instance();
  if (!g_moduleState.valid() || !instance) return false;
  ProxyStubSetModule(instance);
  return SUCCEEDED(g_module.Initialize(g_objectMap, instance, &LIBID_VELLISTOLib));
}

int CVellistoApp::ExitInstance() {
  g_module.Terminate();
  return 0;
}
