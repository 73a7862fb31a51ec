// The library's registration scripts: each class's "REGISTRY" resource, run
// by the registrar against the classes root with %MODULE% the library's path.
#pragma once

#include <windows.h>

// Runs script resourceId of module for registration or removal. A
// registration that fails part-way is removed again before the failure is
// returned.
HRESULT RunRegistryScript(HINSTANCE module, UINT resourceId, BOOL doRegister);
