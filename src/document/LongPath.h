// Windows paths of any length: the full path with the "\\?\" prefix, which
// lifts the 260-character limit of the plain form.
#pragma once

#include <string>

// The full, prefixed form of path ("\\?\C:\...", "\\?\UNC\server\..."); empty
// when the system cannot make a full path of it.
std::wstring LongPath(const wchar_t* path);
// Everything up to and including the last backslash.
std::wstring FolderOf(const std::wstring& longPath);
