// What this build's file code holds: the owner of an open file, and the
// system's form of a path (UTF-16 on Windows, UTF-8 bytes elsewhere).
#pragma once

#include "UniqueHandle.h"

#include <string>

#ifdef _WIN32
using NativeFile = UniqueFile;
using NativePath = std::wstring;
#else
using NativeFile = UniqueFd;
using NativePath = std::string;
#endif
