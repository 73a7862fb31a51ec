// The three header generations of a virtual document file: 29 ASCII
// characters and a zero byte. "x.xx" is literal; the newest generation keeps
// its format version (1 or 2) in the 32-bit field after the header.
#pragma once

#include <cstddef>

constexpr size_t kMagicSize = 30;
constexpr char kMagicOldest[kMagicSize + 1] = "Mirelda Virtual Document 1.00";
constexpr char kMagicFour[kMagicSize + 1] = "Tavorin Virtual Document 4.00";
constexpr char kMagicNewest[kMagicSize + 1] = "Tavorin Virtual Document x.xx";
constexpr int kNewestVersion = 2;
