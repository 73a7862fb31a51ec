#include "Utf.h"

std::string Utf8FromUtf16(const WString& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool Utf16FromUtf8(const std::string& text, WString& out) {
  out.clear();
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    int extra;
    char32_t c;
    if (b < 0x80) {
      c = b;
      extra = 0;
    } else if (b >= 0xC2 && b < 0xE0) {
      c = b & 0x1F;
      extra = 1;
    } else if (b >= 0xE0 && b < 0xF0) {
      c = b & 0x0F;
      extra = 2;
    } else if (b >= 0xF0 && b < 0xF5) {
      c = b & 0x07;
      extra = 3;
    } else
      return false;
    if (text.size() - i <= static_cast<size_t>(extra)) return false;
    for (int k = 1; k <= extra; ++k) {
      const auto t = static_cast<unsigned char>(text[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      c = (c << 6) | (t & 0x3F);
    }
    static const char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (c < kMin[extra] || c > 0x10FFFF) return false;  // overlong or out of range
    i += extra + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<OLECHAR>(0xD800 + (c >> 10));
      out += static_cast<OLECHAR>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<OLECHAR>(c);
    }
  }
  return true;
}

bool IsValidUtf16(const WString& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const OLECHAR c = text[i];
    if (c >= 0xD800 && c < 0xDC00) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] >= 0xE000) return false;
      ++i;
    } else if (c >= 0xDC00 && c < 0xE000) {
      return false;
    }
  }
  return true;
}
