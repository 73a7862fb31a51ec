// Starts a program of the test's own (a command line with the program's path
// quoted), for tests that watch another process: the process's handle, or
// an empty one when it could not be started.
#pragma once

#include "UniqueHandle.h"

#include <windows.h>

#include <string>

UniqueKernelHandle StartProgram(std::wstring command);
