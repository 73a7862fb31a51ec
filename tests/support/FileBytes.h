// Whole files as bytes, and paths in the library's own spelling.
#pragma once

#include "Automation.h"

#include <cstdint>
#include <filesystem>
#include <vector>

using Bytes = std::vector<uint8_t>;

// The path as the library takes it (UTF-16 in both builds).
WString Wide(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const Bytes& bytes);
// Empty when the file cannot be read.
Bytes ReadFile(const std::filesystem::path& path);
