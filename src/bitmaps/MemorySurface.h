// A 32-bit top-down DIB section selected into a memory device context: a
// surface to draw on, or to copy a window onto, whose pixels are read back
// exactly as 0x00RRGGBB. For the reference host's pictures and the tests.
#pragma once

#include "Handles.h"

#include <cstdint>
#include <optional>
#include <vector>

class MemorySurface {
 public:
  // compatibleWith: the device context the memory one is made for (null:
  // the screen). valid() tells whether the system gave both.
  MemorySurface(int width, int height, HDC compatibleWith = nullptr);

  bool valid() const { return m_bits != nullptr; }
  HDC dc() const { return m_dc.get(); }
  int width() const { return m_width; }
  int height() const { return m_height; }

  void Fill(uint32_t rgb);
  void Put(int x, int y, uint32_t rgb);
  uint32_t Pixel(int x, int y) const;
  // Every pixel, top row first.
  std::vector<uint32_t> Pixels() const;
  // Copies window's client area, from its top left corner, onto the surface.
  bool CopyFrom(HWND window);

 private:
  int m_width;
  int m_height;
  UniqueBitmap m_bitmap;
  UniqueMemoryDC m_dc;
  std::optional<SelectedObject> m_selected;  // m_bitmap in m_dc
  uint32_t* m_bits = nullptr;                // borrowed: m_bitmap's pixels
};
