// The library's globals, in one translation unit so that their order is
// fixed: built in this order during static initialisation, before the attach
// work of DllMain, and destroyed in reverse after its detach work.
//
//   1. g_moduleState  the module state: every guard of the library uses it
//   2. (the lock count's owner pointer is constant-initialised: nothing to build)
//   3. g_dibHolder    the bitmap cache: after g_moduleState and before
//                     g_module, so that it outlives every object that draws
//                     from it and is freed only after g_module is gone
//   4. g_module       the module object (its constructor makes it current)
//   5. g_app          the application object
#include "Globals.h"
#include "ModuleState.h"
#include "DibHolder.h"

ModuleState g_moduleState;
DibHolder g_dibHolder;
CComModule g_module;
CVellistoApp g_app;
