// Drawing with pixel read-back: what lands on the target must be the pixels
// the generated bitmaps hold.
#include "CDib.h"
#include "DrawBitmap.h"
#include "MemorySurface.h"
#include "ResourceModuleTest.h"
#include "SystemCalls.h"
#include "TestBitmapData.h"
#include "TestLibrary.h"
#include "TestWindow.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

constexpr uint32_t kSentinel = 0x123456;

template <typename PixelAt>
::testing::AssertionResult HoldsBitmapAt(PixelAt pixelAt, const TestBitmap& expected, int left,
                                         int top) {
  int wrong = 0;
  std::ostringstream first;
  for (int y = 0; y < expected.height; ++y) {
    for (int x = 0; x < expected.width; ++x) {
      const uint32_t want = expected.pixels[y * expected.width + x];
      const uint32_t got = pixelAt(left + x, top + y);
      if (got != want && wrong++ == 0) {
        first << std::hex << "first at (" << std::dec << x << "," << y << "): got 0x" << std::hex
              << got << " want 0x" << want;
      }
    }
  }
  if (wrong == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << wrong << " pixels differ; " << first.str();
}

::testing::AssertionResult HoldsBitmapAt(const MemorySurface& target, const TestBitmap& expected,
                                         int left, int top) {
  return HoldsBitmapAt([&](int x, int y) { return target.Pixel(x, y); }, expected, left, top);
}

uint32_t SourcePixel(const TestBitmap& bitmap, int x, int y) {
  return bitmap.pixels[y * bitmap.width + x];
}

class DrawTest : public ResourceModuleTest {
 protected:
  DrawTest() { m_target.Fill(kSentinel); }

  static std::unique_ptr<CDib> Loaded(const TestBitmap& bitmap) {
    auto dib = std::make_unique<CDib>();
    if (!dib->Load(s_module, MAKEINTRESOURCEW(bitmap.id))) return nullptr;
    return dib;
  }

  MemorySurface m_target{64, 40};
};

TEST_F(DrawTest, DrawDibWithoutRectanglesDrawsTheWholeBitmapAtTheOrigin) {
  for (const TestBitmap* bitmap : {&kBitmap8, &kBitmap4, &kBitmap24}) {
    SCOPED_TRACE(bitmap->bits);
    m_target.Fill(kSentinel);
    m_calls.Reset();
    auto dib = Loaded(*bitmap);
    ASSERT_NE(dib, nullptr);
    EXPECT_TRUE(dib->Draw(m_target.dc(), nullptr, nullptr, TRUE, nullptr, FALSE));
    EXPECT_TRUE(HoldsBitmapAt(m_target, *bitmap, 0, 0));
    EXPECT_EQ(m_target.Pixel(bitmap->width, 0), kSentinel);
    EXPECT_EQ(m_target.Pixel(0, bitmap->height), kSentinel);

    ASSERT_EQ(m_calls.m_drawDibCalls.size(), 1u);
    const SystemCalls::DrawDibArgs& args = m_calls.m_drawDibCalls[0];
    EXPECT_EQ(args.xDst, 0);
    EXPECT_EQ(args.yDst, 0);
    EXPECT_EQ(args.dxDst, -1);
    EXPECT_EQ(args.dyDst, -1);
    EXPECT_EQ(args.xSrc, 0);
    EXPECT_EQ(args.ySrc, 0);
    EXPECT_EQ(args.dxSrc, -1);
    EXPECT_EQ(args.dySrc, -1);
    EXPECT_EQ(args.flags, UINT(DDF_BACKGROUNDPAL));
  }
}

TEST_F(DrawTest, DrawDibAtADestinationRectangleDrawsThere) {
  auto dib = Loaded(kBitmap8);
  ASSERT_NE(dib, nullptr);
  const RECT dest = {5, 7, 5 + kBitmap8.width, 7 + kBitmap8.height};
  EXPECT_TRUE(dib->Draw(m_target.dc(), &dest, nullptr, TRUE, nullptr, FALSE));
  EXPECT_TRUE(HoldsBitmapAt(m_target, kBitmap8, 5, 7));
  EXPECT_EQ(m_target.Pixel(4, 7), kSentinel);
  EXPECT_EQ(m_target.Pixel(5, 6), kSentinel);
  EXPECT_EQ(m_target.Pixel(5 + kBitmap8.width, 7), kSentinel);

  ASSERT_EQ(m_calls.m_drawDibCalls.size(), 1u);
  const SystemCalls::DrawDibArgs& args = m_calls.m_drawDibCalls[0];
  EXPECT_EQ(args.xDst, 5);
  EXPECT_EQ(args.yDst, 7);
  EXPECT_EQ(args.dxDst, kBitmap8.width);
  EXPECT_EQ(args.dyDst, kBitmap8.height);
  EXPECT_EQ(args.dxSrc, -1);
  EXPECT_EQ(args.dySrc, -1);
}

TEST_F(DrawTest, DrawDibInTheForegroundSelectsThePaletteNormallyAndPassesNoFlags) {
  auto dib = Loaded(kBitmap4);
  ASSERT_NE(dib, nullptr);
  EXPECT_TRUE(dib->Draw(m_target.dc(), nullptr, nullptr, TRUE, nullptr, TRUE));
  EXPECT_TRUE(HoldsBitmapAt(m_target, kBitmap4, 0, 0));
  ASSERT_EQ(m_calls.m_drawDibCalls.size(), 1u);
  EXPECT_EQ(m_calls.m_drawDibCalls[0].flags, 0u);
  ASSERT_FALSE(m_calls.m_selections.empty());
  EXPECT_EQ(m_calls.m_selections[0].palette, dib->GetPalette());
  EXPECT_FALSE(m_calls.m_selections[0].forceBackground);
  EXPECT_EQ(m_calls.m_realizePalette, 1);
}

TEST_F(DrawTest, DrawDibContextIsOpenedOnceAndKeptUntilTheBitmapGoes) {
  auto dib = Loaded(kBitmap8);
  ASSERT_NE(dib, nullptr);
  EXPECT_TRUE(dib->Draw(m_target.dc(), nullptr, nullptr, TRUE, nullptr, FALSE));
  EXPECT_TRUE(dib->Draw(m_target.dc(), nullptr, nullptr, TRUE, nullptr, FALSE));
  EXPECT_EQ(m_calls.m_drawDibOpen, 1);
  ASSERT_TRUE(dib->Load(s_module, MAKEINTRESOURCEW(kBitmap24.id)));
  EXPECT_TRUE(dib->Draw(m_target.dc(), nullptr, nullptr, TRUE, nullptr, FALSE));
  EXPECT_EQ(m_calls.m_drawDibOpen, 2);
  EXPECT_TRUE(HoldsBitmapAt(m_target, kBitmap24, 0, 0));
}

TEST_F(DrawTest, BlockTransferAtEqualSizeUsesBitBltAndLeavesTheStretchMode) {
  auto dib = Loaded(kBitmap8);
  ASSERT_NE(dib, nullptr);
  ::SetStretchBltMode(m_target.dc(), BLACKONWHITE);
  EXPECT_TRUE(dib->Draw(m_target.dc(), nullptr, nullptr, FALSE, nullptr, FALSE));
  EXPECT_TRUE(HoldsBitmapAt(m_target, kBitmap8, 0, 0));
  EXPECT_EQ(m_target.Pixel(kBitmap8.width, 0), kSentinel);
  EXPECT_EQ(m_calls.m_bitBlt, 1);
  EXPECT_EQ(m_calls.m_stretchBlt, 0);
  EXPECT_EQ(m_calls.m_drawDibDraw, 0);
  EXPECT_EQ(::GetStretchBltMode(m_target.dc()), BLACKONWHITE);
}

TEST_F(DrawTest, BlockTransferOnePixelWiderStretchesWithColorOnColor) {
  auto dib = Loaded(kBitmap24);
  ASSERT_NE(dib, nullptr);
  ::SetStretchBltMode(m_target.dc(), BLACKONWHITE);
  const RECT dest = {0, 0, kBitmap24.width + 1, kBitmap24.height};
  EXPECT_TRUE(dib->Draw(m_target.dc(), &dest, nullptr, FALSE, nullptr, FALSE));
  EXPECT_EQ(m_calls.m_stretchBlt, 1);
  EXPECT_EQ(m_calls.m_bitBlt, 0);
  EXPECT_EQ(::GetStretchBltMode(m_target.dc()), COLORONCOLOR);
  // The image fills the wider destination: its first and last columns land on
  // the destination's edges, every pixel comes from the same source row.
  for (int y = 0; y < kBitmap24.height; ++y) {
    EXPECT_EQ(m_target.Pixel(0, y), SourcePixel(kBitmap24, 0, y));
    EXPECT_EQ(m_target.Pixel(kBitmap24.width, y), SourcePixel(kBitmap24, kBitmap24.width - 1, y));
  }
  EXPECT_EQ(m_target.Pixel(kBitmap24.width + 1, 0), kSentinel);
}

TEST_F(DrawTest, DrawBitmapCopiesASourceRectangleToItsOwnPlaceOrToTheDestination) {
  auto dib = Loaded(kBitmap8);
  ASSERT_NE(dib, nullptr);
  const RECT src = {3, 2, 13, 12};
  EXPECT_TRUE(DrawBitmap(m_target.dc(), dib->GetHandle(), nullptr, &src));
  EXPECT_EQ(m_target.Pixel(3, 2), SourcePixel(kBitmap8, 3, 2));
  EXPECT_EQ(m_target.Pixel(12, 11), SourcePixel(kBitmap8, 12, 11));
  EXPECT_EQ(m_target.Pixel(2, 2), kSentinel);
  EXPECT_EQ(m_target.Pixel(13, 11), kSentinel);

  const RECT dest = {40, 20, 50, 30};
  EXPECT_TRUE(DrawBitmap(m_target.dc(), dib->GetHandle(), &dest, &src));
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) {
      ASSERT_EQ(m_target.Pixel(40 + x, 20 + y), SourcePixel(kBitmap8, 3 + x, 2 + y))
          << x << "," << y;
    }
  }
  EXPECT_EQ(m_calls.m_bitBlt, 2);
  EXPECT_EQ(m_calls.m_stretchBlt, 0);
}

TEST_F(DrawTest, DrawBitmapOfABitmapHeldByAnotherContextDrawsNothing) {
  auto dib = Loaded(kBitmap8);
  ASSERT_NE(dib, nullptr);
  UniqueMemoryDC other(::CreateCompatibleDC(nullptr));
  SelectedObject held(other.get(), dib->GetHandle());
  ASSERT_TRUE(held.ok());
  EXPECT_FALSE(DrawBitmap(m_target.dc(), dib->GetHandle(), nullptr, nullptr));
  EXPECT_EQ(m_target.Pixel(0, 0), kSentinel);
}

// Bitmaps with colour masks (every 16-bit DIB section) are drawn by block
// transfer even when DrawDib is asked for: DrawDib would draw nothing.
TEST_F(DrawTest, MaskedBitmapsAreDrawnByBlockTransfer) {
  struct {
    BITMAPINFOHEADER header;
    DWORD masks[3];
  } info = {};
  info.header.biSize = sizeof info.header;
  info.header.biWidth = 4;
  info.header.biHeight = -2;
  info.header.biPlanes = 1;
  info.header.biBitCount = 16;
  info.header.biCompression = BI_BITFIELDS;
  info.masks[0] = 0xF800;  // 5-6-5
  info.masks[1] = 0x07E0;
  info.masks[2] = 0x001F;
  void* bits = nullptr;
  HBITMAP section = ::CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info),
                                       DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(section, nullptr);
  for (int i = 0; i < 8; ++i) static_cast<uint16_t*>(bits)[i] = 0xF800;  // pure red
  CDib dib;
  ASSERT_TRUE(dib.Attach(section));
  m_calls.Reset();
  EXPECT_TRUE(dib.Draw(m_target.dc(), nullptr, nullptr, TRUE, nullptr, TRUE));
  EXPECT_EQ(m_target.Pixel(0, 0), 0xFF0000u);
  EXPECT_EQ(m_target.Pixel(3, 1), 0xFF0000u);
  EXPECT_EQ(m_target.Pixel(4, 0), kSentinel);
}

TEST_F(DrawTest, EmptyDibDrawsNothingAndTouchesNoPalette) {
  CDib empty;
  auto deleted = Loaded(kBitmap8);
  ASSERT_NE(deleted, nullptr);
  deleted->DeleteObject();
  m_calls.Reset();
  for (CDib* dib : {&empty, deleted.get()}) {
    EXPECT_FALSE(dib->Draw(m_target.dc(), nullptr, nullptr, TRUE, nullptr, FALSE));
    EXPECT_FALSE(dib->Draw(m_target.dc(), nullptr, nullptr, FALSE, nullptr, TRUE));
  }
  EXPECT_EQ(m_calls.m_selectPalette, 0);
  EXPECT_EQ(m_calls.m_realizePalette, 0);
  EXPECT_EQ(m_calls.m_drawDibOpen, 0);
  EXPECT_EQ(m_target.Pixel(0, 0), kSentinel);
}

class PaletteRestoreTest : public DrawTest {
 protected:
  void SetUp() override {
    DrawTest::SetUp();
    struct {
      WORD version, count;
      PALETTEENTRY entries[2];
    } log = {0x300, 2, {{1, 2, 3, 0}, {4, 5, 6, 0}}};
    m_callerPalette.reset(::CreatePalette(reinterpret_cast<LOGPALETTE*>(&log)));
    ::SelectPalette(m_target.dc(), m_callerPalette.get(), FALSE);
    m_calls.Reset();
  }
  void TearDown() override {
    ::SelectPalette(m_target.dc(), static_cast<HPALETTE>(::GetStockObject(DEFAULT_PALETTE)), TRUE);
  }
  HPALETTE Current() const {
    return static_cast<HPALETTE>(::GetCurrentObject(m_target.dc(), OBJ_PAL));
  }

  UniquePalette m_callerPalette;  // owned
};

TEST_F(PaletteRestoreTest, ReplacedPaletteIsSelectedBackInTheBackground) {
  auto dib = Loaded(kBitmap8);
  ASSERT_NE(dib, nullptr);
  for (BOOL foreground : {FALSE, TRUE}) {
    for (BOOL useDrawDib : {TRUE, FALSE}) {
      m_calls.Reset();
      EXPECT_TRUE(dib->Draw(m_target.dc(), nullptr, nullptr, useDrawDib, nullptr, foreground));
      EXPECT_EQ(Current(), m_callerPalette.get());
      ASSERT_EQ(m_calls.m_selections.size(), 2u);
      EXPECT_EQ(m_calls.m_selections[0].palette, dib->GetPalette());
      EXPECT_EQ(m_calls.m_selections[0].forceBackground, !foreground);
      EXPECT_EQ(m_calls.m_selections[1].palette, m_callerPalette.get());
      EXPECT_TRUE(m_calls.m_selections[1].forceBackground);
    }
  }
}

TEST_F(PaletteRestoreTest, ReplacedPaletteIsSelectedBackWhenTheDrawFails) {
  // A device-dependent bitmap is not a DIB section: DrawDib refuses it.
  HBITMAP ddb = ::CreateBitmap(4, 4, 1, 32, nullptr);
  CDib dib;
  ASSERT_TRUE(dib.Attach(ddb));
  m_calls.Reset();
  EXPECT_FALSE(dib.Draw(m_target.dc(), nullptr, nullptr, TRUE, nullptr, FALSE));
  EXPECT_EQ(Current(), m_callerPalette.get());
  EXPECT_EQ(m_calls.m_selections.size(), 2u);
  EXPECT_EQ(m_calls.m_drawDibDraw, 0);
  // The block transfer still draws it.
  EXPECT_TRUE(dib.Draw(m_target.dc(), nullptr, nullptr, FALSE, nullptr, FALSE));
  EXPECT_EQ(Current(), m_callerPalette.get());
}

TEST_F(PaletteRestoreTest, GivenPaletteIsUsedInsteadOfTheBitmapsOwn) {
  auto dib = Loaded(kBitmap4);
  ASSERT_NE(dib, nullptr);
  HDC screen = ::GetDC(nullptr);
  UniquePalette given(::CreateHalftonePalette(screen));
  ::ReleaseDC(nullptr, screen);
  EXPECT_TRUE(dib->Draw(m_target.dc(), nullptr, nullptr, TRUE, given.get(), FALSE));
  ASSERT_EQ(m_calls.m_selections.size(), 2u);
  EXPECT_EQ(m_calls.m_selections[0].palette, given.get());
  EXPECT_EQ(Current(), m_callerPalette.get());
  EXPECT_TRUE(HoldsBitmapAt(m_target, kBitmap4, 0, 0));
}

// On a real window: a child of one top-level window made for these tests.
class WindowDrawTest : public DrawTest {
 protected:
  static void SetUpTestSuite() {
    DrawTest::SetUpTestSuite();
    s_frame = TestWindow::Frame();
  }
  static void Pump() { TestWindow::Pump(); }

  static inline HWND s_frame = nullptr;  // borrowed: the program's test window
};

TEST_F(WindowDrawTest, DrawDibPutsTheBitmapsPixelsOnAWindow) {
  ASSERT_NE(s_frame, nullptr) << "no display";
  HWND child = TestWindow::CreateChild(10, 10, 100, 80);
  ASSERT_NE(child, nullptr);
  Pump();
  auto dib = Loaded(kBitmap8);
  ASSERT_NE(dib, nullptr);
  {
    WindowDC dc(child);
    const RECT dest = {6, 4, 6 + kBitmap8.width, 4 + kBitmap8.height};
    EXPECT_TRUE(dib->Draw(dc.get(), &dest, nullptr, TRUE, nullptr, FALSE));
    ::GdiFlush();
    EXPECT_TRUE(HoldsBitmapAt(
        [&](int x, int y) {
          const COLORREF c = ::GetPixel(dc.get(), x, y);
          return uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c);
        },
        kBitmap8, 6, 4));
  }
  ::DestroyWindow(child);
}

}  // namespace
