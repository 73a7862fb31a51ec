// Loading, palettes and release of single bitmaps from the test library.
#include "CDib.h"
#include "ResourceModuleTest.h"
#include "SystemCalls.h"
#include "TestBitmapData.h"
#include "TestLibrary.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<PALETTEENTRY> Entries(HPALETTE palette) {
  WORD count = 0;
  if (::GetObjectW(palette, sizeof count, &count) != sizeof count) return {};
  std::vector<PALETTEENTRY> entries(count);
  ::GetPaletteEntries(palette, 0, count, entries.data());
  return entries;
}

uint32_t Rgb(const PALETTEENTRY& e) {
  return (uint32_t(e.peRed) << 16) | (uint32_t(e.peGreen) << 8) | e.peBlue;
}

using CDibTest = ResourceModuleTest;

void ExpectPaletteOfTable(const CDib& dib, const SystemCalls& calls, const TestBitmap& expected) {
  ASSERT_EQ(calls.m_createdPalettes.size(), 1u);
  EXPECT_EQ(calls.m_createdPalettes[0].palVersion, 0x300);
  EXPECT_EQ(calls.m_createdPalettes[0].palNumEntries, expected.colors);
  for (const PALETTEENTRY& e : calls.m_createdPaletteEntries[0]) EXPECT_EQ(e.peFlags, 0);

  const std::vector<PALETTEENTRY> entries = Entries(dib.GetPalette());
  ASSERT_EQ(entries.size(), expected.colors);
  for (unsigned i = 0; i < expected.colors; ++i) {
    EXPECT_EQ(Rgb(entries[i]), expected.table[i]) << "entry " << i;
  }
}

TEST_F(CDibTest, EightBitBitmapGetsA256EntryPaletteOfItsColourTable) {
  CDib dib;
  ASSERT_TRUE(dib.Load(s_module, MAKEINTRESOURCEW(kBitmap8.id)));
  EXPECT_EQ(dib.GetSize().cx, kBitmap8.width);
  EXPECT_EQ(dib.GetSize().cy, kBitmap8.height);
  EXPECT_EQ(dib.GetHeader().bmBitsPixel, 8);
  EXPECT_NE(dib.GetHeader().bmBits, nullptr) << "loaded as a DIB section";
  ExpectPaletteOfTable(dib, m_calls, kBitmap8);
}

TEST_F(CDibTest, FourBitBitmapGetsA16EntryPalette) {
  CDib dib;
  ASSERT_TRUE(dib.Load(s_module, MAKEINTRESOURCEW(kBitmap4.id)));
  EXPECT_EQ(dib.GetSize().cx, kBitmap4.width);
  EXPECT_EQ(dib.GetHeader().bmBitsPixel, 4);
  ExpectPaletteOfTable(dib, m_calls, kBitmap4);
}

TEST_F(CDibTest, TwentyFourBitBitmapHasNoColourTableAndGetsTheHalftonePalette) {
  CDib dib;
  ASSERT_TRUE(dib.Load(s_module, MAKEINTRESOURCEW(kBitmap24.id)));
  EXPECT_EQ(dib.GetHeader().bmBitsPixel, 24);
  RGBQUAD table[256];
  EXPECT_EQ(dib.GetColorTable(table, 256), 0u);
  EXPECT_EQ(m_calls.m_createPalette, 0);

  HDC screen = ::GetDC(nullptr);
  HPALETTE halftone = ::CreateHalftonePalette(screen);
  ::ReleaseDC(nullptr, screen);
  const std::vector<PALETTEENTRY> expected = Entries(halftone);
  ::DeleteObject(halftone);
  const std::vector<PALETTEENTRY> actual = Entries(dib.GetPalette());
  ASSERT_FALSE(expected.empty());
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(Rgb(actual[i]), Rgb(expected[i]));
}

TEST_F(CDibTest, MissingOrNonBitmapResourceLeavesTheDibEmpty) {
  for (UINT id : {211u, 300u}) {
    CDib dib;
    EXPECT_FALSE(dib.Load(s_module, MAKEINTRESOURCEW(id))) << id;
    EXPECT_EQ(dib.GetHandle(), nullptr);
    EXPECT_EQ(dib.GetPalette(), nullptr);
    EXPECT_EQ(dib.GetSize().cx, 0);
    EXPECT_EQ(dib.GetSize().cy, 0);
  }
}

TEST_F(CDibTest, FailedLoadKeepsTheBitmapAlreadyHeld) {
  CDib dib;
  ASSERT_TRUE(dib.Load(s_module, MAKEINTRESOURCEW(kBitmap8.id)));
  const HBITMAP held = dib.GetHandle();
  EXPECT_FALSE(dib.Load(s_module, MAKEINTRESOURCEW(211)));
  EXPECT_FALSE(dib.Attach(nullptr));
  EXPECT_EQ(dib.GetHandle(), held);
  EXPECT_EQ(dib.GetSize().cx, kBitmap8.width);
}

TEST_F(CDibTest, AttachingAnotherBitmapReleasesTheFirst) {
  CDib dib;
  ASSERT_TRUE(dib.Load(s_module, MAKEINTRESOURCEW(kBitmap8.id)));
  const HGDIOBJ oldBitmap = dib.GetHandle();
  const HGDIOBJ oldPalette = dib.GetPalette();
  ASSERT_TRUE(dib.Load(s_module, MAKEINTRESOURCEW(kBitmap4.id)));
  EXPECT_EQ(::GetObjectType(oldBitmap), 0u);
  EXPECT_EQ(::GetObjectType(oldPalette), 0u);
  EXPECT_EQ(dib.GetSize().cx, kBitmap4.width);
}

TEST_F(CDibTest, HandleWhoseHeaderCannotBeReadStaysAttached) {
  CDib dib;
  // The handle of a bitmap that no longer exists.
  const HBITMAP bogus = ::CreateBitmap(2, 2, 1, 1, nullptr);
  ::DeleteObject(bogus);
  EXPECT_FALSE(dib.Attach(bogus));
  EXPECT_EQ(dib.GetHandle(), bogus);
  EXPECT_EQ(dib.GetPalette(), nullptr);
  EXPECT_EQ(dib.GetSize().cx, 0);
  dib.DeleteObject();
  EXPECT_EQ(dib.GetHandle(), nullptr);
}

TEST_F(CDibTest, DeleteObjectReleasesEverythingAndEmptiesTheDib) {
  CDib dib;
  ASSERT_TRUE(dib.Load(s_module, MAKEINTRESOURCEW(kBitmap8.id)));
  const HGDIOBJ bitmap = dib.GetHandle();
  const HGDIOBJ palette = dib.GetPalette();
  EXPECT_TRUE(dib.DeleteObject());
  EXPECT_EQ(::GetObjectType(bitmap), 0u);
  EXPECT_EQ(::GetObjectType(palette), 0u);
  EXPECT_EQ(dib.GetHandle(), nullptr);
  EXPECT_EQ(dib.GetPalette(), nullptr);
  EXPECT_EQ(dib.GetSize().cx, 0);
  EXPECT_EQ(dib.GetSize().cy, 0);
  EXPECT_EQ(dib.GetHeader().bmBits, nullptr);
  EXPECT_FALSE(dib.DeleteObject()) << "nothing left to delete";
}

}  // namespace
