// Owners of the GDI and USER handles the bitmaps and the preview hold, and
// guards for what a device context has selected. Code keeps a handle in one
// of these types and lets scope end it. (The critical-section guard lives in
// compat, below the server, and comes along for this header's users.)
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <vfw.h>

#include "CriticalSectionLock.h"
#include "UniqueHandle.h"

using UniqueBitmap = UniqueHandle<HBITMAP, ::DeleteObject>;
using UniquePalette = UniqueHandle<HPALETTE, ::DeleteObject>;
using UniqueFont = UniqueHandle<HFONT, ::DeleteObject>;
using UniqueMemoryDC = UniqueHandle<HDC, ::DeleteDC>;
using UniqueKey = UniqueHandle<HKEY, ::RegCloseKey>;
using UniqueDrawDib = UniqueHandle<HDRAWDIB, ::DrawDibClose>;

// The device context of a window (or of the whole screen for a null window),
// released to that window when the guard goes.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : m_window(window), m_dc(::GetDC(window)) {}
  ~WindowDC() {
    if (m_dc) ::ReleaseDC(m_window, m_dc);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;

  HDC get() const { return m_dc; }

 private:
  HWND m_window;  // borrowed
  HDC m_dc;       // owned: released to m_window
};

// The device context of one WM_PAINT, ended when the guard goes.
class PaintDC {
 public:
  explicit PaintDC(HWND window) : m_window(window) { m_dc = ::BeginPaint(window, &m_paint); }
  ~PaintDC() {
    if (m_dc) ::EndPaint(m_window, &m_paint);
  }
  PaintDC(const PaintDC&) = delete;
  PaintDC& operator=(const PaintDC&) = delete;

  HDC get() const { return m_dc; }
  const PAINTSTRUCT& paint() const { return m_paint; }

 private:
  HWND m_window;  // borrowed
  HDC m_dc;       // owned: ended with EndPaint
  PAINTSTRUCT m_paint{};
};

// Selects an object into a device context and puts the one it replaced back
// when the guard goes.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(::SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (m_previous && m_previous != HGDI_ERROR) ::SelectObject(m_dc, m_previous);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

  // False when the selection failed (nothing to put back then).
  bool ok() const { return m_previous && m_previous != HGDI_ERROR; }

 private:
  HDC m_dc;            // borrowed
  HGDIOBJ m_previous;  // borrowed: belongs to whoever selected it before
};

// Selects a palette into a device context and, when the guard goes, selects
// the palette it replaced back as a background palette.
class SelectedPalette {
 public:
  SelectedPalette(HDC dc, HPALETTE palette, BOOL forceBackground)
      : m_dc(dc), m_previous(::SelectPalette(dc, palette, forceBackground)) {}
  ~SelectedPalette() {
    if (m_previous) ::SelectPalette(m_dc, m_previous, TRUE);
  }
  SelectedPalette(const SelectedPalette&) = delete;
  SelectedPalette& operator=(const SelectedPalette&) = delete;

 private:
  HDC m_dc;             // borrowed
  HPALETTE m_previous;  // borrowed: belongs to whoever selected it before
};
