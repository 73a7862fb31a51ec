// Reads a whole file while other programs may read it but not write it.
#pragma once

#include "Automation.h"

#include <cstdint>
#include <vector>

// False when the file cannot be opened or read (missing, a folder, no
// access, a writer holds it, a null or empty path).
bool ReadSharedFile(const OLECHAR* path, std::vector<uint8_t>& bytes);
