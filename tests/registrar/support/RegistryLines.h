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
// The same, keeping only the lines that start with one of the prefixes.
std::vector<std::string> RegistryLines(HKEY root, const std::wstring& path,
                                       const std::vector<std::string>& prefixes);
