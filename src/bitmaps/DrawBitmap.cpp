#include "DrawBitmap.h"

BOOL DrawBitmap(HDC dc, HBITMAP bitmap, const RECT* dest, const RECT* src) {
  RECT whole = {0, 0, 0, 0};
  if (!src) {
    BITMAP header;
    if (::GetObjectW(bitmap, sizeof header, &header)) {
      whole.right = header.bmWidth;
      whole.bottom = header.bmHeight;
    }
  }
  const RECT& from = src ? *src : whole;
  const RECT& to = dest ? *dest : from;
  const int fromWidth = from.right - from.left;
  const int fromHeight = from.bottom - from.top;
  const int toWidth = to.right - to.left;
  const int toHeight = to.bottom - to.top;

  UniqueMemoryDC memory(::CreateCompatibleDC(dc));
  if (!memory) return FALSE;
  // A bitmap that cannot be selected (held by another context) would copy the
  // memory context's empty default bitmap instead: draw nothing then.
  SelectedObject selected(memory.get(), bitmap);
  if (!selected.ok()) return FALSE;

  if (toWidth == fromWidth && toHeight == fromHeight) {
    return ::BitBlt(dc, to.left, to.top, toWidth, toHeight, memory.get(), from.left, from.top,
                    SRCCOPY);
  }
  ::SetStretchBltMode(dc, COLORONCOLOR);
  return ::StretchBlt(dc, to.left, to.top, toWidth, toHeight, memory.get(), from.left, from.top,
                      fromWidth, fromHeight, SRCCOPY);
}
