// The content of a real registry key, listed as MemoryRegistry::Lines lists
// its own: "path" per key and "path\[name]=data" per REG_SZ value (other
// types as "path\[name]:type N"), paths below the key, sorted, in UTF-8.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <vector>

std::vector<std::string> RegistryLines(HKEY root, const std::wstring& path);
// The key at path itself (when it exists) and everything below it, each line
// with the path in front: "CLSID\\{...}", "CLSID\\{...}\\[]=TvdFormat Class".
std::vector<std::string> SubtreeLines(HKEY root, const std::wstring& path);
