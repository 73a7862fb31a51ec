// Where the running test program lives: its libraries and fixtures lie
// beside it, in the build tree and in the installed tree alike.
#pragma once

#include <string>

// The folder of this program, with a trailing backslash.
std::wstring ProgramFolder();
