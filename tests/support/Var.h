// A VARIANT that clears itself, with setters that clear what was there
// first, and readable forms of a value for assertions.
#pragma once

#include "Automation.h"
#include "UniqueVariant.h"

#include <string>
#include <string_view>

struct Var : UniqueVariant {
  static void I4(VARIANT& v, LONG x);
  static void R8(VARIANT& v, double x);
  static void Date(VARIANT& v, double x);
  static void Text(VARIANT& v, const OLECHAR* s);
};

// The text of a VT_BSTR as UTF-8, or a marker for other types.
std::string Utf8(const VARIANT& v);
std::string Utf8(std::basic_string_view<OLECHAR> s);
