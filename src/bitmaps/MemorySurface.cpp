#include "MemorySurface.h"

MemorySurface::MemorySurface(int width, int height, HDC compatibleWith)
    : m_width(width), m_height(height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  m_bitmap.reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  m_dc.reset(::CreateCompatibleDC(compatibleWith));
  if (!m_bitmap || !m_dc) return;
  m_selected.emplace(m_dc.get(), m_bitmap.get());
  m_bits = static_cast<uint32_t*>(bits);
}

void MemorySurface::Fill(uint32_t rgb) {
  ::GdiFlush();
  for (size_t i = 0; valid() && i < size_t(m_width) * size_t(m_height); ++i) m_bits[i] = rgb;
}

void MemorySurface::Put(int x, int y, uint32_t rgb) {
  ::GdiFlush();
  m_bits[size_t(y) * size_t(m_width) + size_t(x)] = rgb;
}

uint32_t MemorySurface::Pixel(int x, int y) const {
  ::GdiFlush();
  return m_bits[size_t(y) * size_t(m_width) + size_t(x)] & 0xFFFFFF;
}

std::vector<uint32_t> MemorySurface::Pixels() const {
  if (!valid()) return {};
  ::GdiFlush();
  std::vector<uint32_t> pixels(m_bits, m_bits + size_t(m_width) * size_t(m_height));
  for (uint32_t& p : pixels) p &= 0xFFFFFF;
  return pixels;
}

bool MemorySurface::CopyFrom(HWND window) {
  const WindowDC windowDc(window);
  return valid() && windowDc.get() &&
         ::BitBlt(m_dc.get(), 0, 0, m_width, m_height, windowDc.get(), 0, 0, SRCCOPY);
}
