// Whether this process has a file mapped into its address space: a module
// loaded as code, or one mapped as an image resource or data file, which the
// loader's own lists (GetModuleHandleW) do not show.
#pragma once

#include <string>

// True when a view of the file named path is mapped. The path is compared
// from its first backslash after the drive on (the system names the volume
// its own way), without regard to case; a name without a folder ("KivRes.dll")
// matches that file in any folder.
bool IsMapped(const std::wstring& path);
