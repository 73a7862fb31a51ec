// One device-independent bitmap, held as a DIB section, with the logical
// palette that shows it on palette devices.
#pragma once

#include "Handles.h"

class CDib {
 public:
  CDib();
  virtual ~CDib();
  CDib(const CDib&) = delete;
  CDib& operator=(const CDib&) = delete;

  // Loads a bitmap resource of module as a DIB section at its own size and
  // attaches it. name is a resource name or MAKEINTRESOURCEW(number).
  BOOL Load(HINSTANCE module, const wchar_t* name);
  // Takes ownership of bitmap (unless refused), reads its header and makes its
  // palette. A null handle is refused and changes nothing. When the header
  // cannot be read the handle stays attached and FALSE is returned.
  BOOL Attach(HBITMAP bitmap);
  // Makes the palette for this bitmap into target: from its colour table, or a
  // halftone palette for the screen when it has none.
  BOOL MakePalette(UniquePalette& target) const;
  // Copies up to maxEntries colour-table entries into table; returns the count.
  UINT GetColorTable(RGBQUAD* table, UINT maxEntries) const;
  SIZE GetSize() const;
  // Draws the bitmap onto dc, through DrawDib or by a block transfer. dest and
  // src are optional; palette is optional (the bitmap's own when null). The
  // palette that was selected in dc before is selected back on every return.
  BOOL Draw(HDC dc, const RECT* dest, const RECT* src, BOOL useDrawDib, HPALETTE palette,
            BOOL foreground);
  // Releases the bitmap, its palette and its DrawDib context; returns the
  // result of deleting the bitmap (FALSE when there was none).
  BOOL DeleteObject();

  HBITMAP GetHandle() const { return m_bitmap.get(); }
  HPALETTE GetPalette() const { return m_pal.get(); }
  const BITMAP& GetHeader() const { return m_bm; }

 private:
  UniqueBitmap m_bitmap;  // owned: the DIB section, null while empty
  BITMAP m_bm;            // header of m_bitmap; all zero while empty
  UniquePalette m_pal;    // owned: made at attach time
  UniqueDrawDib m_hdd;    // owned: opened by the first DrawDib draw
};
