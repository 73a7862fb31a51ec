#include "CDib.h"

#include "DrawBitmap.h"

#include <cstring>

namespace {

// The most colours a colour table (and so a palette made from one) can hold.
constexpr UINT kMaxColors = 256;

// A LOGPALETTE with room for a full colour table.
struct FullLogPalette {
  WORD palVersion;
  WORD palNumEntries;
  PALETTEENTRY palPalEntry[kMaxColors];
};

// The header block DrawDib reads: the bitmap's header and its colour table.
struct DibHeaderBlock {
  BITMAPINFOHEADER header;
  RGBQUAD colors[kMaxColors];
};

}  // namespace

CDib::CDib() : m_bm() {}

CDib::~CDib() { DeleteObject(); }

BOOL CDib::Load(HINSTANCE module, const wchar_t* name) {
  // Always a DIB section at the resource's own size: drawing reads its bits.
  HANDLE image =
      ::LoadImageW(module, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION | LR_DEFAULTSIZE);
  return Attach(static_cast<HBITMAP>(image));
}

BOOL CDib::Attach(HBITMAP bitmap) {
  if (!bitmap) return FALSE;
  if (bitmap != m_bitmap.get()) {
    DeleteObject();  // one bitmap at a time: whatever was held goes first
    m_bitmap.reset(bitmap);
  }
  if (!::GetObjectW(bitmap, sizeof m_bm, &m_bm)) return FALSE;
  m_pal.reset();
  return MakePalette(m_pal);
}

BOOL CDib::MakePalette(UniquePalette& target) const {
  RGBQUAD table[kMaxColors];
  const UINT count = GetColorTable(table, kMaxColors);
  HPALETTE palette = nullptr;
  if (count != 0) {
    FullLogPalette log;
    log.palVersion = 0x300;
    log.palNumEntries = static_cast<WORD>(count);
    // The colour table is blue, green, red; a palette entry red, green, blue.
    for (UINT i = 0; i < count; ++i) {
      log.palPalEntry[i].peRed = table[i].rgbRed;
      log.palPalEntry[i].peGreen = table[i].rgbGreen;
      log.palPalEntry[i].peBlue = table[i].rgbBlue;
      log.palPalEntry[i].peFlags = 0;
    }
    palette = ::CreatePalette(reinterpret_cast<const LOGPALETTE*>(&log));
  } else {
    // More than 8 bits per pixel: no colour table, so the screen's halftone.
    WindowDC screen(nullptr);
    palette = ::CreateHalftonePalette(screen.get());
  }
  if (!palette) return FALSE;
  target.reset(palette);
  return TRUE;
}

UINT CDib::GetColorTable(RGBQUAD* table, UINT maxEntries) const {
  // A memory DC made for no DC is compatible with the screen already; taking
  // the screen's own DC first would cost two more trips to the window system
  // on every draw, for the same colour table.
  UniqueMemoryDC memory(::CreateCompatibleDC(nullptr));
  if (!memory) return 0;
  SelectedObject selected(memory.get(), m_bitmap.get());
  if (!selected.ok()) return 0;
  return ::GetDIBColorTable(memory.get(), 0, maxEntries, table);
}

SIZE CDib::GetSize() const { return SIZE{m_bm.bmWidth, m_bm.bmHeight}; }

BOOL CDib::Draw(HDC dc, const RECT* dest, const RECT* src, BOOL useDrawDib, HPALETTE palette,
                BOOL foreground) {
  if (!m_bitmap) return FALSE;
  // Put back on every return below, the failures included.
  SelectedPalette selected(dc, palette ? palette : m_pal.get(), !foreground);
  ::RealizePalette(dc);

  if (!useDrawDib) return DrawBitmap(dc, m_bitmap.get(), dest, src);

  // Extents of -1 tell DrawDib to take the bitmap's full width and height.
  const RECT wholeBitmap = {0, 0, -1, -1};
  const RECT& from = src ? *src : wholeBitmap;
  const RECT& to = dest ? *dest : from;

  // Kept for later draws; a failed open is tried again next time.
  if (!m_hdd) m_hdd.reset(::DrawDibOpen());

  DIBSECTION section;
  if (::GetObjectW(m_bitmap.get(), sizeof section, &section) != sizeof section) return FALSE;
  // DrawDib takes no colour masks (16-bit and masked 32-bit bitmaps draw as
  // nothing): those go by block transfer, which draws them as they are.
  if (section.dsBmih.biCompression == BI_BITFIELDS)
    return DrawBitmap(dc, m_bitmap.get(), dest, src);
  DibHeaderBlock info;
  info.header = section.dsBmih;
  std::memset(info.colors, 0, sizeof info.colors);
  GetColorTable(info.colors, kMaxColors);

  return ::DrawDibDraw(m_hdd.get(), dc, to.left, to.top, to.right - to.left, to.bottom - to.top,
                       &info.header, m_bm.bmBits, from.left, from.top, from.right - from.left,
                       from.bottom - from.top, foreground ? 0 : DDF_BACKGROUNDPAL);
}

BOOL CDib::DeleteObject() {
  m_pal.reset();
  m_hdd.reset();
  std::memset(&m_bm, 0, sizeof m_bm);
  if (!m_bitmap) return FALSE;
  return m_bitmap.close();
}
