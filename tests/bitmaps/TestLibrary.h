// Where the test resource library lives, and looks at the loader's state.
#pragma once

#include "ProgramFolder.h"

#include <windows.h>

#include <string>

// The test resource library built beside this program.
std::wstring ResourceLibraryPath();
// Whether a module of that path is loaded in this process, as code or as an
// image resource.
bool IsLoaded(const std::wstring& path);
// Frees the module of that path loaded as code until it is gone; returns how
// many references it had. Destructive: only for the end of a test.
int ReleaseAllReferences(const std::wstring& path);
