// The text forms that values without a stored type are saved as. The
// expectations are the system's own answers (oleaut32 under Wine, US
// locale); the native build must give the same.
#include "Automation.h"

#include "Var.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

std::string TextOf(const VARIANT& v) {
  Var out;
  const HRESULT hr = VariantChangeType(&out, const_cast<VARIANT*>(&v), 0, VT_BSTR);
  if (FAILED(hr)) return "error " + std::to_string(static_cast<unsigned long>(hr) & 0xFFFFFFFFu);
  return Utf8(out);
}

std::string Real(double d) {
  VARIANT v;
  v.vt = VT_R8;
  v.dblVal = d;
  return TextOf(v);
}

std::string Date(double d) {
  VARIANT v;
  v.vt = VT_DATE;
  v.date = d;
  return TextOf(v);
}

TEST(TextForm, Integers) {
  VARIANT v;
  v.vt = VT_I2;
  v.iVal = -5;
  EXPECT_EQ(TextOf(v), "-5");
  v.vt = VT_I4;
  v.lVal = INT32_MIN;
  EXPECT_EQ(TextOf(v), "-2147483648");
  v.vt = VT_UI1;
  v.bVal = 200;
  EXPECT_EQ(TextOf(v), "200");
  v.vt = VT_UI4;
  v.ulVal = 4294967295u;
  EXPECT_EQ(TextOf(v), "4294967295");
  v.vt = VT_I8;
  v.llVal = -1234567890123LL;
  EXPECT_EQ(TextOf(v), "-1234567890123");
}

TEST(TextForm, BooleansAreNumbers) {
  VARIANT v;
  v.vt = VT_BOOL;
  v.boolVal = VARIANT_TRUE;
  EXPECT_EQ(TextOf(v), "-1");
  v.boolVal = VARIANT_FALSE;
  EXPECT_EQ(TextOf(v), "0");
}

TEST(TextForm, DoublesKeepFifteenSignificantDigits) {
  EXPECT_EQ(Real(0.1), "0.1");
  EXPECT_EQ(Real(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(Real(2.5), "2.5");
  EXPECT_EQ(Real(-0.0), "0");
  EXPECT_EQ(Real(1e14), "100000000000000");
  EXPECT_EQ(Real(1e15), "1E+15");
  EXPECT_EQ(Real(1e20), "1E+20");
  EXPECT_EQ(Real(1e-5), "1E-05");
  EXPECT_EQ(Real(0.000123), "0.000123");
  EXPECT_EQ(Real(-1e100), "-1E+100");
  EXPECT_EQ(Real(123456789012345678.0), "1.23456789012346E+17");
  VARIANT f;
  f.vt = VT_R4;
  f.fltVal = 16777216.0f;
  EXPECT_EQ(TextOf(f), "1.677722E+07");
}

TEST(TextForm, DatesShowDayTimeOrBoth) {
  EXPECT_EQ(Date(0), "12:00:00 AM");
  EXPECT_EQ(Date(0.5), "12:00:00 PM");
  EXPECT_EQ(Date(1), "12/31/1899");
  EXPECT_EQ(Date(2), "1/1/1900");
  EXPECT_EQ(Date(1.5), "12/31/1899 12:00:00 PM");
  EXPECT_EQ(Date(45000.25), "3/15/2023 6:00:00 AM");
  EXPECT_EQ(Date(36526.75), "1/1/2000 6:00:00 PM");
  EXPECT_EQ(Date(-1), "12/29/1899");
  EXPECT_EQ(Date(-1.25), "12/29/1899 6:00:00 AM");         // the time counts forwards
  EXPECT_EQ(Date(45000.999999), "3/16/2023 12:00:00 AM");  // rounded to the second
  EXPECT_EQ(Date(-657434), "1/1/100");
  EXPECT_EQ(Date(2958465.99999), "12/31/9999 11:59:59 PM");
  EXPECT_EQ(Date(2958466), "error 2147942487");  // E_INVALIDARG: past 9999
  EXPECT_EQ(Date(-657435), "error 2147942487");
}

TEST(TextForm, CurrencyAndText) {
  VARIANT v;
  v.vt = VT_CY;
  v.cyVal.int64 = 12345678;
  EXPECT_EQ(TextOf(v), "1234.5678");
  v.cyVal.int64 = -50000;
  EXPECT_EQ(TextOf(v), "-5");
  v.vt = VT_BSTR;
  v.bstrVal = nullptr;
  EXPECT_EQ(TextOf(v), "");
  v.vt = VT_EMPTY;
  EXPECT_EQ(TextOf(v), "");
}

TEST(TextForm, ValuesWithoutTextFormFail) {
  VARIANT v;
  v.vt = VT_NULL;
  EXPECT_EQ(TextOf(v), "error 2147614725");  // DISP_E_TYPEMISMATCH
  v.vt = VT_ERROR;
  v.scode = 5;
  EXPECT_EQ(TextOf(v), "error 2147614725");
  v.vt = 0x7F;
  EXPECT_EQ(TextOf(v), "error 2147614728");  // DISP_E_BADVARTYPE
}

TEST(TextForm, ByReferenceValuesAreFollowed) {
  LONG x = 77;
  VARIANT v;
  v.vt = VT_I4 | VT_BYREF;
  v.byref = &x;
  EXPECT_EQ(TextOf(v), "77");
}

TEST(NameComparison, CaseFoldingAgreesWithTheSystem) {
  EXPECT_EQ(lstrcmpiW(OLESTR("Title"), OLESTR("TITLE")), 0);
  EXPECT_EQ(lstrcmpiW(OLESTR("\u00C9t\u00E9"), OLESTR("\u00E9T\u00C9")), 0);
  EXPECT_EQ(lstrcmpiW(OLESTR("\u0416\u03A3"), OLESTR("\u0436\u03C3")), 0);
  EXPECT_LT(lstrcmpiW(OLESTR("a"), OLESTR("B")), 0);
  EXPECT_EQ(StrCmpNIW(OLESTR("Title"), OLESTR("tiTLE of"), 5), 0);
  EXPECT_NE(StrCmpNIW(OLESTR("Title"), OLESTR("tiTLx"), 5), 0);
  OLECHAR text[] = OLESTR("AB\u00C9\u0416\u03A3");
  CharLowerBuffW(text, 5);
  EXPECT_EQ(WString(text), WString(OLESTR("ab\u00E9\u0436\u03C3")));
}

}  // namespace
