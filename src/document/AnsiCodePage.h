// 8-bit text of the older file generations, decoded from a single-byte
// Windows code page. On Windows the default is the system's ANSI code page
// (CP_ACP); the native build defaults to Windows-1252.
#pragma once

#include "Automation.h"

#include <cstddef>
#include <cstdint>

// Chooses the code page for later decoding (0 restores the default).
// False when this build cannot decode it as a single-byte code page.
bool SetAnsiCodePage(unsigned codePage);
unsigned AnsiCodePage();
void AnsiToWide(const uint8_t* text, size_t length, WString& out);
