// The library's registration scripts: each class's "REGISTRY" resource, run
// by the registrar against the classes root with %MODULE% the library's path.
// Only the registration of this module is ever removed: another copy of the
// library may be the one installed.
#pragma once

#include <windows.h>

#include <string>

// Runs script resourceId of module, the script of class clsid, for
// registration or removal. A registration that fails part-way puts back
// what was there before. Removal leaves the class alone (and succeeds) when
// its InprocServer32 names another module.
HRESULT RunRegistryScript(HINSTANCE module, UINT resourceId, REFCLSID clsid, BOOL doRegister);

// True when the default value of key (below the classes root) names a module
// other than module: the entry is another copy's.
bool NamesAnotherModule(const std::wstring& key, HINSTANCE module);
