#include "PreviewWnd.h"

#include "IconTitleFont.h"
#include "Path.h"
#include "PreviewCaption.h"
#include "PreviewIcon.h"
#include "PreviewLayout.h"

#include <optional>

namespace {

constexpr UINT_PTR kChildId = 0xFFFFFFFF;
const wchar_t* const kArrowCursor = MAKEINTRESOURCEW(32512);  // IDC_ARROW
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// The height of one line in font, measured on a memory DC like the screen.
int MeasureLineHeight(HFONT font) {
  UniqueMemoryDC dc(::CreateCompatibleDC(nullptr));
  if (!dc) return 0;
  std::optional<SelectedObject> selected;
  if (font) selected.emplace(dc.get(), font);
  SIZE size = {};
  ::GetTextExtentPoint32W(dc.get(), L"Aj", 2, &size);
  return size.cy;
}

}  // namespace

bool PreviewWnd::Create(HWND parent, const RECT* rect) {
  if (!rect) return false;
  // The system's shared arrow cursor, looked up once: the lookup costs more
  // than the rest of the class registration.
  static const HCURSOR arrow = ::LoadCursorW(nullptr, kArrowCursor);
  const std::wstring windowClass =
      RegisterWindowClass(0, arrow, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)), nullptr);
  if (windowClass.empty()) return false;
  if (!CreateEx(0, windowClass.c_str(), L"", WS_CHILD, *rect, parent, kChildId)) return false;
  m_font = IconTitleFont();
  m_lineHeight = MeasureLineHeight(m_font.get());
  m_image = PreviewIcon();
  m_caption = PreviewCaption();
  return true;
}

void PreviewWnd::SetFile(const wchar_t* path) {
  const Path parsed(path);
  std::wstring name = parsed.GetFileName() + parsed.GetExtension();
  m_name.swap(name);
  // A hidden window is painted whole when it is shown: only a visible one
  // needs the invalidation (a round trip to the window system under Wine).
  if (::IsWindowVisible(GetSafeHwnd())) Invalidate(true);
}

void PreviewWnd::OnPaint() {
  PaintDC paint(GetSafeHwnd());
  const HDC dc = paint.get();
  if (!m_image || !dc) return;
  // Everything that can fail before the DC changes.
  const std::wstring nameLine = L"(" + m_name + L")";
  RECT client = {};
  ::GetClientRect(GetSafeHwnd(), &client);
  const SIZE size = m_image->GetSize();
  const PreviewLayout layout = ComputePreviewLayout(
      {client.left, client.top, client.right, client.bottom}, size.cx, size.cy, m_lineHeight);

  const UINT oldAlign = ::SetTextAlign(dc, TA_CENTER | TA_TOP);
  const COLORREF oldBackground = ::SetBkColor(dc, kWhite);
  const COLORREF oldText = ::SetTextColor(dc, kBlack);
  {
    std::optional<SelectedObject> font;
    if (m_font) font.emplace(dc, m_font.get());
    const RECT image = {layout.image.left, layout.image.top, layout.image.right,
                        layout.image.bottom};
    m_image->Draw(dc, &image, nullptr, TRUE, nullptr, FALSE);
    ::TextOutW(dc, layout.caption.x, layout.caption.y, m_caption.c_str(),
               static_cast<int>(m_caption.size()));
    ::TextOutW(dc, layout.name.x, layout.name.y, nameLine.c_str(),
               static_cast<int>(nameLine.size()));
  }
  ::SetTextAlign(dc, oldAlign);
  ::SetBkColor(dc, oldBackground);
  ::SetTextColor(dc, oldText);
}

LRESULT PreviewWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    OnPaint();
    return 0;
  }
  return CWnd::WindowProc(message, wParam, lParam);
}
