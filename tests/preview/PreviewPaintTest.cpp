// What the preview window paints, read back from the screen and compared
// pixel for pixel with the same picture drawn by the test: white, the icon's
// own pixels at the layout's rectangle, both lines in the icon title font
// centred on their anchors.
#include "PreviewHost.h"
#include "TestBitmapData.h"

#include <gtest/gtest.h>

namespace {

class PreviewPaintTest : public PreviewTest {
 protected:
  void SetUp() override {
    PreviewTest::SetUp();
    HDC screen = GetDC(nullptr);
    const int depth = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    ASSERT_GE(depth, 24) << "pixels are exact only on a 24-bit screen: run under "
                            "xvfb-run -a -s '-screen 0 1024x768x24'";
  }

  static int DarkPixelsInRows(const Capture& capture, int from, int to) {
    int dark = 0;
    for (int y = from; y < to && y < capture.height; ++y)
      for (int x = 0; x < capture.width; ++x) dark += capture.at(x, y) == 0;
    return dark;
  }
};

TEST_F(PreviewPaintTest, PaintsTheIconAndBothLinesCentredAsOneBlock) {
  ComPtr<IKivFilePreview> preview = NewPreview({10, 10, 210, 110});
  ASSERT_TRUE(preview);
  ShowAndPaint(preview.get(), L"C:\\vault\\part.tvd");
  const Capture got = CaptureClient(PreviewWindow());
  EXPECT_TRUE(
      SamePixels(got, ExpectedPreview(200, 100, kBitmap8, L"Virtual document", L"part.tvd")));
  // Not white on white: the icon and both text bands really are there.
  const int top = 50 - (2 * 13 + 5 + kBitmap8.height) / 2;  // 13: the fresh prefix's line height
  EXPECT_EQ(kBitmap8.pixels[0], got.at(100 - kBitmap8.width / 2, top));
  EXPECT_GT(DarkPixelsInRows(got, top + kBitmap8.height + 5, top + kBitmap8.height + 18), 20);
  EXPECT_GT(DarkPixelsInRows(got, top + kBitmap8.height + 18, top + kBitmap8.height + 31), 20);
}

TEST_F(PreviewPaintTest, TheNameLineShowsOnlyTheFileNameAndExtension) {
  ComPtr<IKivFilePreview> preview = NewPreview({10, 10, 210, 110});
  ASSERT_TRUE(preview);
  const struct {
    const wchar_t* path;
    const wchar_t* shown;
  } cases[] = {{L"\\\\server\\share\\a.b.tvd", L"a.b.tvd"},
               {L"C:/vault/part.tvd", L"part.tvd"},
               {L"", L""},
               {nullptr, L""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path ? c.path : L"(null)");
    ShowAndPaint(preview.get(), c.path);
    EXPECT_TRUE(SamePixels(CaptureClient(PreviewWindow()),
                           ExpectedPreview(200, 100, kBitmap8, L"Virtual document", c.shown)));
  }
}

TEST_F(PreviewPaintTest, AnIconOfOddSizeSitsAtTheRoundedRectangle) {
  SetLocation(OddResourceFolder());
  ComPtr<IKivFilePreview> preview = NewPreview({0, 0, 201, 101});
  ASSERT_TRUE(preview);
  ShowAndPaint(preview.get(), L"odd.tvd");
  EXPECT_TRUE(SamePixels(CaptureClient(PreviewWindow()),
                         ExpectedPreview(201, 101, kBitmapOdd, L"Virtual document", L"odd.tvd")));
}

TEST_F(PreviewPaintTest, AWindowSmallerThanTheIconShowsItsMiddleUnscaled) {
  SetLocation(OddResourceFolder());
  ComPtr<IKivFilePreview> preview = NewPreview({0, 0, 20, 10});
  ASSERT_TRUE(preview);
  ShowAndPaint(preview.get(), L"small.tvd");
  EXPECT_TRUE(SamePixels(CaptureClient(PreviewWindow()),
                         ExpectedPreview(20, 10, kBitmapOdd, L"Virtual document", L"small.tvd")));
}

TEST_F(PreviewPaintTest, AMovedWindowIsLaidOutAgainForItsNewSize) {
  ComPtr<IKivFilePreview> preview = NewPreview({10, 10, 110, 60});
  ASSERT_TRUE(preview);
  ShowAndPaint(preview.get(), L"part.tvd");
  const RECT bigger = {20, 30, 320, 230};
  ASSERT_EQ(S_OK, preview->Move(&bigger));
  UpdateWindow(PreviewWindow());
  Pump();
  EXPECT_TRUE(SamePixels(CaptureClient(PreviewWindow()),
                         ExpectedPreview(300, 200, kBitmap8, L"Virtual document", L"part.tvd")));
}

TEST_F(PreviewPaintTest, WithoutAnIconTheWindowStaysWhite) {
  DeleteTree(HKEY_LOCAL_MACHINE, kHostKey);
  ComPtr<IKivFilePreview> preview = NewPreview({10, 10, 210, 110});
  ASSERT_TRUE(preview);
  ShowAndPaint(preview.get(), L"C:\\vault\\part.tvd");
  const Capture got = CaptureClient(PreviewWindow());
  ASSERT_EQ(200, got.width);
  EXPECT_TRUE(AllWhite(got));
}

}  // namespace
