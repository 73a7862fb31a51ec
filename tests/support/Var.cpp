#include "Var.h"

#include "Utf.h"

void Var::I4(VARIANT& v, LONG x) {
  VariantClear(&v);
  v.vt = VT_I4;
  v.lVal = x;
}

void Var::R8(VARIANT& v, double x) {
  VariantClear(&v);
  v.vt = VT_R8;
  v.dblVal = x;
}

void Var::Date(VARIANT& v, double x) {
  VariantClear(&v);
  v.vt = VT_DATE;
  v.date = x;
}

void Var::Text(VARIANT& v, const OLECHAR* s) {
  VariantClear(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(s);
}

std::string Utf8(std::basic_string_view<OLECHAR> s) { return Utf8FromUtf16(WString(s)); }

std::string Utf8(const VARIANT& v) {
  if (v.vt != VT_BSTR) return "<vt " + std::to_string(v.vt) + ">";
  return v.bstrVal ? Utf8FromUtf16(WString(v.bstrVal, SysStringLen(v.bstrVal))) : "";
}
