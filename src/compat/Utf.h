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

// A native file name's bytes as UTF-16 and back, losslessly for any bytes:
// UTF-8 is decoded, and each byte that is not part of a UTF-8 character
// (0x80 to 0xFF) becomes the lone surrogate U+DC00 plus the byte, which
// turns back into that byte. Names that are UTF-8 convert as text does.
WString Utf16FromFileName(const std::string& name);
std::string FileNameFromUtf16(const WString& text);
