// The comparisons behind block and attribute lookup. On Windows they are the
// locale-aware system functions; the native build uses the simple Unicode
// lower-case mapping of each UTF-16 unit for all three.
#pragma once

#include "Automation.h"

bool NamesEqual(const OLECHAR* a, const OLECHAR* b);
// Case-insensitive equality of the first count units.
bool PrefixEqual(const OLECHAR* a, const OLECHAR* b, int count);
void LowerCase(WString& text);
