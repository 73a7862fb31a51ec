// The comparisons behind block and attribute lookup. On Windows they are the
// locale-aware system functions; the native build uses the simple Unicode
// lower-case mapping of each UTF-16 unit for all three.
#pragma once

#include "Automation.h"

#include <cstdint>
#include <string>

bool NamesEqual(const OLECHAR* a, const OLECHAR* b);
// Case-insensitive equality of the first count units.
bool PrefixEqual(const OLECHAR* a, const OLECHAR* b, int count);
void LowerCase(WString& text);

// Makes into key the bytes that two names share exactly when NamesEqual
// holds for them, so that names can be found by key. On Windows it is the
// system's sort key for the comparison's locale and flags (which agreed with
// lstrcmpiW on every pair of a set of names full of hyphens, apostrophes,
// soft hyphens, ligatures and case pairs); elsewhere the lower-cased units.
// False when the system cannot make one.
bool NameKey(const OLECHAR* name, std::string& key);
// What keys depend on besides the name: keys made under different contexts
// cannot be compared. On Windows the thread's locale, which lstrcmpiW uses.
uint32_t NameKeyContext();
