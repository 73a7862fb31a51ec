#include "PreviewHost.h"

#include "MemorySurface.h"
#include "ProgramFolder.h"
#include "TestBitmapData.h"

#include <optional>
#include <sstream>

const wchar_t kHostKey[] = L"Software\\Ferrolanth\\Applications\\Quilmoor Enterprise";

namespace {

const wchar_t kMetricsKey[] = L"Control Panel\\Desktop\\WindowMetrics";

}  // namespace

// The test resource libraries lie beside the test program.
std::wstring ResourceFolder() { return ProgramFolder(); }
std::wstring OddResourceFolder() { return ProgramFolder() + L"odd\\"; }
std::wstring No208ResourceFolder() { return ProgramFolder() + L"no208\\"; }

Capture CaptureClient(HWND window) {
  RECT client = {};
  ::GetClientRect(window, &client);
  MemorySurface surface(client.right, client.bottom);
  surface.CopyFrom(window);
  return Capture{surface.width(), surface.height(), surface.Pixels()};
}

void DeleteTree(HKEY root, const wchar_t* subKey) {
  ::RegDeleteTreeW(root, subKey);
  ::RegDeleteKeyW(root, subKey);
}

void SetString(HKEY root, const wchar_t* subKey, const wchar_t* name, const std::wstring& value,
               DWORD type) {
  ::RegSetKeyValueW(root, subKey, name, type, value.c_str(),
                    DWORD((value.size() + 1) * sizeof(wchar_t)));
}

void SetDword(HKEY root, const wchar_t* subKey, const wchar_t* name, DWORD value) {
  ::RegSetKeyValueW(root, subKey, name, REG_DWORD, &value, sizeof value);
}

void SetBinary(HKEY root, const wchar_t* subKey, const wchar_t* name, const void* data,
               DWORD size) {
  ::RegSetKeyValueW(root, subKey, name, REG_BINARY, data, size);
}

HWND PreviewTest::Frame() {
  static HWND frame = [] {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH));
    windowClass.lpszClassName = L"VellistoPreviewHost";
    ::RegisterClassW(&windowClass);
    // Left to process exit: destroying a top-level window waits about 2 s
    // under a display without a window manager.
    return ::CreateWindowExW(0, L"VellistoPreviewHost", L"host", WS_POPUP | WS_VISIBLE, 0, 0, 400,
                             300, nullptr, nullptr, windowClass.hInstance, nullptr);
  }();
  return frame;
}

void PreviewTest::Pump() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
}

void PreviewTest::SetUp() {
  DllFixture::SetUp();
  ASSERT_NE(Frame(), nullptr) << "no display";
  DWORD size = 0;
  m_hadIconFont = ::RegGetValueW(HKEY_CURRENT_USER, kMetricsKey, L"IconFont", RRF_RT_ANY, nullptr,
                                 nullptr, &size) == ERROR_SUCCESS;
  if (m_hadIconFont) {
    m_savedIconFont.resize(size);
    ::RegGetValueW(HKEY_CURRENT_USER, kMetricsKey, L"IconFont", RRF_RT_ANY, nullptr,
                   m_savedIconFont.data(), &size);
  }
  DeleteTree(HKEY_LOCAL_MACHINE, kHostKey);
  DeleteTree(HKEY_CURRENT_USER, kHostKey);
  SetLocation(ResourceFolder());
  m_strings = std::make_unique<RegisteredStringSource>();
  ASSERT_TRUE(m_strings->registered());
  ASSERT_EQ(S_OK, m_dll.CreateFormat(reinterpret_cast<IKivFileFormat**>(m_format.put_void())));
}

void PreviewTest::ReleaseAll() {
  m_format.Reset();
  Pump();
}

void PreviewTest::TearDown() {
  if (m_unloadedByTest)
    ReleaseAll();
  else
    DllFixture::TearDown();
  m_strings.reset();
  DeleteTree(HKEY_LOCAL_MACHINE, kHostKey);
  DeleteTree(HKEY_CURRENT_USER, kHostKey);
  if (m_hadIconFont)
    SetBinary(HKEY_CURRENT_USER, kMetricsKey, L"IconFont", m_savedIconFont.data(),
              DWORD(m_savedIconFont.size()));
  else
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kMetricsKey, L"IconFont");
}

ComPtr<IKivFilePreview> PreviewTest::NewPreview(const RECT& rect) {
  ComPtr<IKivFilePreview> preview;
  const HRESULT hr = m_format->CreatePreview(Frame(), &rect, 0, 0, preview.put());
  EXPECT_EQ(S_OK, hr);
  return preview;
}

HWND PreviewTest::PreviewWindow() { return ::FindWindowExW(Frame(), nullptr, nullptr, nullptr); }

void PreviewTest::ShowAndPaint(IKivFilePreview* preview, const wchar_t* path) {
  BSTR text = path ? ::SysAllocString(path) : nullptr;
  EXPECT_EQ(S_OK, preview->ShowFile(0, text, 0, 0));
  ::SysFreeString(text);
  ::UpdateWindow(PreviewWindow());
  Pump();
}

void PreviewTest::SetLocation(const std::wstring& folder, DWORD type) {
  SetString(HKEY_LOCAL_MACHINE, kHostKey, L"Location", folder, type);
}

namespace {

// The user's icon title font, made as the preview makes it.
UniqueFont IconFont() {
  LOGFONTW font = {};
  DWORD size = sizeof font;
  RegGetValueW(HKEY_CURRENT_USER, kMetricsKey, L"IconFont", RRF_RT_ANY, nullptr, &font, &size);
  return UniqueFont(CreateFontIndirectW(&font));
}

}  // namespace

Capture ExpectedPreview(int width, int height, const TestBitmap& icon, const std::wstring& caption,
                        const std::wstring& name) {
  const UniqueFont font = IconFont();
  return ExpectedPreview(width, height, icon, caption, name, font.get());
}

Capture ExpectedPreview(int width, int height, const TestBitmap& icon, const std::wstring& caption,
                        const std::wstring& name, HFONT font) {
  MemorySurface surface(width, height);
  const HDC dc = surface.dc();
  std::optional<SelectedObject> selectedFont;
  if (font) selectedFont.emplace(dc, font);
  SIZE line = {};
  GetTextExtentPoint32W(dc, L"Aj", 2, &line);

  const int cx = width / 2, cy = height / 2;
  const int top = cy - (2 * line.cy + 5 + icon.height) / 2, left = cx - icon.width / 2;
  surface.Fill(0xFFFFFF);
  for (int y = 0; y < icon.height; ++y)
    for (int x = 0; x < icon.width; ++x)
      if (left + x >= 0 && left + x < width && top + y >= 0 && top + y < height)
        surface.Put(left + x, top + y, icon.pixels[y * icon.width + x]);
  SetTextAlign(dc, TA_CENTER | TA_TOP);
  SetBkColor(dc, RGB(255, 255, 255));
  SetTextColor(dc, RGB(0, 0, 0));
  TextOutW(dc, cx, top + icon.height + 5, caption.c_str(), int(caption.size()));
  const std::wstring nameLine = L"(" + name + L")";
  TextOutW(dc, cx, top + icon.height + 5 + line.cy, nameLine.c_str(), int(nameLine.size()));
  return Capture{width, height, surface.Pixels()};
}

::testing::AssertionResult SamePixels(const Capture& got, const Capture& want) {
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

bool AllWhite(const Capture& capture) {
  for (uint32_t p : capture.pixels)
    if (p != 0xFFFFFF) return false;
  return !capture.pixels.empty();
}
