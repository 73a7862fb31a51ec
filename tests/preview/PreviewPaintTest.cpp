// What the preview window paints, read back from the screen and compared
// pixel for pixel with the same picture drawn by the test: white, the icon's
// own pixels at the layout's rectangle, both lines in the icon title font
// centred on their anchors.
#include "PreviewHost.h"
#include "TestBitmapData.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

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

  // The user's icon title font, made as the preview makes it.
  static HFONT IconFont() {
    LOGFONTW font = {};
    DWORD size = sizeof font;
    RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop\\WindowMetrics", L"IconFont",
                 RRF_RT_ANY, nullptr, &font, &size);
    return CreateFontIndirectW(&font);
  }

  // The picture the preview should paint in a client area of width x height.
  static Capture Expected(int width, int height, const TestBitmap& icon, const std::wstring& caption,
                          const std::wstring& name) {
    Capture picture;
    picture.width = width;
    picture.height = height;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HFONT font = IconFont();
    HGDIOBJ oldFont = SelectObject(dc, font);
    SIZE line = {};
    GetTextExtentPoint32W(dc, L"Aj", 2, &line);

    const int cx = width / 2, cy = height / 2;
    const int top = cy - (2 * line.cy + 5 + icon.height) / 2, left = cx - icon.width / 2;
    auto* pixels = static_cast<uint32_t*>(bits);
    for (int i = 0; i < width * height; ++i) pixels[i] = kWhite;
    for (int y = 0; y < icon.height; ++y)
      for (int x = 0; x < icon.width; ++x)
        if (left + x >= 0 && left + x < width && top + y >= 0 && top + y < height)
          pixels[(top + y) * width + left + x] = icon.pixels[y * icon.width + x];
    SetTextAlign(dc, TA_CENTER | TA_TOP);
    SetBkColor(dc, RGB(255, 255, 255));
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutW(dc, cx, top + icon.height + 5, caption.c_str(), int(caption.size()));
    const std::wstring nameLine = L"(" + name + L")";
    TextOutW(dc, cx, top + icon.height + 5 + line.cy, nameLine.c_str(), int(nameLine.size()));
    GdiFlush();
    picture.pixels.assign(pixels, pixels + width * height);
    for (uint32_t& p : picture.pixels) p &= 0xFFFFFF;
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(font);
    DeleteDC(dc);
    DeleteObject(bitmap);
    return picture;
  }

  static ::testing::AssertionResult Same(const Capture& got, const Capture& want) {
    if (got.width != want.width || got.height != want.height)
      return ::testing::AssertionFailure() << "size " << got.width << "x" << got.height << ", want "
                                           << want.width << "x" << want.height;
    int wrong = 0;
    std::ostringstream first;
    for (int y = 0; y < got.height; ++y)
      for (int x = 0; x < got.width; ++x)
        if (got.at(x, y) != want.at(x, y) && wrong++ == 0)
          first << "first at (" << x << "," << y << "): got 0x" << std::hex << got.at(x, y)
                << " want 0x" << want.at(x, y);
    if (wrong == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << wrong << " pixels differ; " << first.str();
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
  EXPECT_TRUE(Same(got, Expected(200, 100, kBitmap8, L"Virtual document", L"part.tvd")));
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
    EXPECT_TRUE(Same(CaptureClient(PreviewWindow()),
                     Expected(200, 100, kBitmap8, L"Virtual document", c.shown)));
  }
}

TEST_F(PreviewPaintTest, AnIconOfOddSizeSitsAtTheRoundedRectangle) {
  SetLocation(OddResourceFolder());
  ComPtr<IKivFilePreview> preview = NewPreview({0, 0, 201, 101});
  ASSERT_TRUE(preview);
  ShowAndPaint(preview.get(), L"odd.tvd");
  EXPECT_TRUE(Same(CaptureClient(PreviewWindow()),
                   Expected(201, 101, kBitmapOdd, L"Virtual document", L"odd.tvd")));
}

TEST_F(PreviewPaintTest, AWindowSmallerThanTheIconShowsItsMiddleUnscaled) {
  SetLocation(OddResourceFolder());
  ComPtr<IKivFilePreview> preview = NewPreview({0, 0, 20, 10});
  ASSERT_TRUE(preview);
  ShowAndPaint(preview.get(), L"small.tvd");
  EXPECT_TRUE(Same(CaptureClient(PreviewWindow()),
                   Expected(20, 10, kBitmapOdd, L"Virtual document", L"small.tvd")));
}

TEST_F(PreviewPaintTest, AMovedWindowIsLaidOutAgainForItsNewSize) {
  ComPtr<IKivFilePreview> preview = NewPreview({10, 10, 110, 60});
  ASSERT_TRUE(preview);
  ShowAndPaint(preview.get(), L"part.tvd");
  const RECT bigger = {20, 30, 320, 230};
  ASSERT_EQ(S_OK, preview->Move(&bigger));
  UpdateWindow(PreviewWindow());
  Pump();
  EXPECT_TRUE(Same(CaptureClient(PreviewWindow()),
                   Expected(300, 200, kBitmap8, L"Virtual document", L"part.tvd")));
}

TEST_F(PreviewPaintTest, WithoutAnIconTheWindowStaysWhite) {
  DeleteTree(HKEY_LOCAL_MACHINE, kHostKey);
  ComPtr<IKivFilePreview> preview = NewPreview({10, 10, 210, 110});
  ASSERT_TRUE(preview);
  ShowAndPaint(preview.get(), L"C:\\vault\\part.tvd");
  const Capture got = CaptureClient(PreviewWindow());
  ASSERT_EQ(200, got.width);
  EXPECT_EQ(std::vector<uint32_t>(got.pixels.size(), kWhite), got.pixels);
}

}  // namespace
