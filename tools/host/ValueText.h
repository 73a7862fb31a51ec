// The host's text form of attribute values: "i4 42", "r8 2.5",
// "date 2024-02-29 13:45:00", "text \"...\"", "empty".
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

std::string DescribeValue(const VARIANT& value);
// Builds a value of the named type (i4, r8, date, text) from its text;
// false when the text does not fit the type.
bool ParseValue(const std::wstring& type, const std::wstring& text, VARIANT& out);
std::string Utf8(const wchar_t* text);
std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);
