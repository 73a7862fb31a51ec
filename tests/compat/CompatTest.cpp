// The portable text and date helpers, in both builds.
#include "OleDate.h"
#include "Utf.h"

#include <gtest/gtest.h>

namespace {

WString Units(std::initializer_list<unsigned> units) {
  WString s;
  for (unsigned u : units) s += static_cast<OLECHAR>(u);
  return s;
}

TEST(Utf, RoundTripsPairsAndLoneSurrogates) {
  for (const WString& text : {Units({'A', 0xE9, 0x20AC}), Units({0xD83D, 0xDE00}), Units({0xD800}),
                              Units({'x', 0xDC00, 'y'}), Units({0xDBFF, 0xD800})}) {
    WString back;
    ASSERT_TRUE(Utf16FromUtf8(Utf8FromUtf16(text), back));
    EXPECT_EQ(back, text);
  }
  EXPECT_EQ(Utf8FromUtf16(Units({0xD83D, 0xDE00})), "\xF0\x9F\x98\x80");
  EXPECT_TRUE(IsValidUtf16(Units({0xD83D, 0xDE00})));
  EXPECT_FALSE(IsValidUtf16(Units({0xD83D})));
  EXPECT_FALSE(IsValidUtf16(Units({0xDE00, 0xD83D})));
}

TEST(Utf, RejectsBytesThatAreNotText) {
  WString out;
  for (const char* bad :
       {"\xC0\x80", "\xE0\x80\x80", "\xF5\x80\x80\x80", "\x80", "\xE2\x82", "\xFF"})
    EXPECT_FALSE(Utf16FromUtf8(bad, out)) << bad;
}

// File names are bytes: every byte string comes back exactly, and a UTF-8
// name reads as its text.
TEST(Utf, FileNamesOfAnyBytesRoundTrip) {
  std::string every;
  for (int b = 1; b < 256; ++b) every += static_cast<char>(b);
  for (const std::string& name : {every, std::string("caf\xE9.tvd"), std::string("\xED\xB2\x80"),
                                  std::string("\xF0\x9F\x98"), std::string("\xC3\xA9\xFF\xC3")}) {
    EXPECT_EQ(FileNameFromUtf16(Utf16FromFileName(name)), name);
  }
  EXPECT_EQ(Utf16FromFileName("\xC3\xA9\xF0\x9F\x98\x80"), Units({0xE9, 0xD83D, 0xDE00}));
  EXPECT_EQ(Utf16FromFileName("a\xFF"), Units({'a', 0xDCFF}));
  // An encoded surrogate is no UTF-8: its bytes are kept one by one.
  EXPECT_EQ(Utf16FromFileName("\xED\xB2\x80"), Units({0xDCED, 0xDCB2, 0xDC80}));
  // A lone surrogate that stands for no byte keeps its three-byte form.
  EXPECT_EQ(FileNameFromUtf16(Units({0xD800, 'x'})), "\xED\xA0\x80x");
}

TEST(OleDate, CalendarRoundTrips) {
  struct Case {
    double date;
    int y, mo, d, h, mi, s;
  } cases[] = {
      {0, 1899, 12, 30, 0, 0, 0},       {2, 1900, 1, 1, 0, 0, 0},
      {45000.25, 2023, 3, 15, 6, 0, 0}, {-1.25, 1899, 12, 29, 6, 0, 0},
      {-657434, 100, 1, 1, 0, 0, 0},    {60, 1900, 2, 28, 0, 0, 0},
      {61, 1900, 3, 1, 0, 0, 0},        {2958465.5, 9999, 12, 31, 12, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.date);
    CivilTime t;
    ASSERT_TRUE(CivilFromOleDate(c.date, t, 1000));
    EXPECT_EQ(t.year, c.y);
    EXPECT_EQ(t.month, c.mo);
    EXPECT_EQ(t.day, c.d);
    EXPECT_EQ(t.hour, c.h);
    EXPECT_EQ(t.minute, c.mi);
    EXPECT_EQ(t.second, c.s);
    double back = 0;
    ASSERT_TRUE(OleDateFromCivil(t, back));
    EXPECT_DOUBLE_EQ(back, c.date);
  }
}

TEST(OleDate, RejectsWhatNoCalendarHolds) {
  CivilTime t;
  EXPECT_FALSE(CivilFromOleDate(2958466, t, 1));
  EXPECT_FALSE(CivilFromOleDate(-657435, t, 1));
  EXPECT_FALSE(CivilFromOleDate(0.0 / 0.0, t, 1));
  EXPECT_FALSE(CivilFromOleDate(2958465.9999999995, t, 1000));  // rounds into the year 10000
  EXPECT_TRUE(CivilFromOleDate(2958465.99999999, t, 1000));     // 23:59:59.999
  double d;
  t = CivilTime{2023, 4, 31};
  EXPECT_FALSE(OleDateFromCivil(t, d));
  t = CivilTime{2023, 2, 29};
  EXPECT_FALSE(OleDateFromCivil(t, d));
  t = CivilTime{2024, 2, 29};
  EXPECT_TRUE(OleDateFromCivil(t, d));
  t = CivilTime{2024, 1, 1, 24};
  EXPECT_FALSE(OleDateFromCivil(t, d));
}

}  // namespace
