// Reads one plain string value in a single call.
#pragma once

#include "Handles.h"

#include <string>

// Reads the plain string value valueName of root\subKey: at most 1024 bytes,
// REG_SZ only (an expandable string is refused).
bool ReadRegistryString(HKEY root, const wchar_t* subKey, const wchar_t* valueName,
                        std::wstring& text);
