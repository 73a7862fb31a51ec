// Runs the platform's registration tool on a library, silently, in a
// process of its own, as an installer does.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

// regsvr32's exit code: 0 on success, 3 when the library cannot be loaded,
// 5 when the export returned a failure; 1000 + the error when it could not
// be started.
DWORD Regsvr32(const std::wstring& dll, bool unregister = false);
