// The preview's icon: bitmap 208 of the host's resource library "KivRes.dll",
// found in the folder that the host's installation key names.
#pragma once

#include "CDib.h"

#include <string>

// The host's installation key below HKEY_LOCAL_MACHINE (and, for the product
// name, below HKEY_CURRENT_USER).
extern const wchar_t kHostKey[];

// The resource library's path in folder: folder, a backslash unless it ends
// in one, and "KivRes.dll". Empty unless folder is absolute (a drive and its
// root, or a network path) and the path fits in MAX_PATH: a relative or empty
// folder would make the loader search for the library, and run whatever
// "KivRes.dll" it finds first (the current folder's, say) inside the host.
std::wstring ResourceLibraryPath(const std::wstring& folder);

// The icon from the cache (owned there), or null when the key, "Location",
// the library or the bitmap is missing.
CDib* PreviewIcon();
