#include "AnsiCodePage.h"

#include <gtest/gtest.h>

TEST(AnsiCodePage, DecodesWindows1252ByDefault) {
  const uint8_t text[] = {'A', 0x80, 0xE9};
  WString out;
  AnsiToWide(text, 3, out);
  EXPECT_EQ(out, WString(OLESTR("A\u20AC\u00E9")));
}
