// The library's globals besides g_moduleState (ModuleState.h). All of them
// are defined in Globals.cpp, in the order in which they must be built.
#pragma once

#include "CComModule.h"
#include "CVellistoApp.h"

extern CComModule g_module;
extern CVellistoApp g_app;
