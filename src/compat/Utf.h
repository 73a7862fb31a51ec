// UTF-8 and UTF-16 conversion for the places where text meets the outside
// world (native file names, the command line, JSON).
#pragma once

#include "Automation.h"

#include <string>

// UTF-16 to UTF-8. A lone surrogate becomes its three-byte form (as in
// WTF-8), so the conversion never fails and is reversed by Utf16FromUtf8.
std::string Utf8FromUtf16(const WString& text);
// UTF-8 (or WTF-8) to UTF-16; false for bytes that are not such text.
bool Utf16FromUtf8(const std::string& text, WString& out);
// True when every surrogate in the text is part of a pair.
bool IsValidUtf16(const WString& text);
