#include "Utf.h"

namespace {

void AppendUtf8(std::string& out, char32_t c) {
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

void AppendUtf16(WString& out, char32_t c) {
  if (c >= 0x10000) {
    c -= 0x10000;
    out += static_cast<OLECHAR>(0xD800 + (c >> 10));
    out += static_cast<OLECHAR>(0xDC00 + (c & 0x3FF));
  } else {
    out += static_cast<OLECHAR>(c);
  }
}

// The character of UTF-8 (or WTF-8: surrogates too) that starts at text[i]
// and its length in bytes; 0 for bytes that are not one.
size_t DecodeUtf8(const std::string& text, size_t i, char32_t& c) {
  const auto b = static_cast<unsigned char>(text[i]);
  size_t extra;
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
  } else {
    return 0;
  }
  if (text.size() - i <= extra) return 0;
  for (size_t k = 1; k <= extra; ++k) {
    const auto t = static_cast<unsigned char>(text[i + k]);
    if ((t & 0xC0) != 0x80) return 0;
    c = (c << 6) | (t & 0x3F);
  }
  static const char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (c < kMin[extra] || c > 0x10FFFF) return 0;  // overlong or out of range
  return extra + 1;
}

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c < 0xDC00; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c < 0xE000; }

// The code point at text[i]: a surrogate pair is one, and i is left on its
// second half; a lone surrogate stands for itself.
char32_t NextCodePoint(const WString& text, size_t& i) {
  const char32_t c = text[i];
  if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]))
    return 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
  return c;
}

// A byte of a file name that is not UTF-8 stands as a lone low surrogate
// U+DC80..U+DCFF, which no UTF-8 name can hold.
constexpr char32_t kEscapedByte = 0xDC00;

}  // namespace

std::string Utf8FromUtf16(const WString& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char32_t c = NextCodePoint(text, i);
    AppendUtf8(out, c);
  }
  return out;
}

bool Utf16FromUtf8(const std::string& text, WString& out) {
  out.clear();
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    char32_t c = 0;
    const size_t n = DecodeUtf8(text, i, c);
    if (n == 0) return false;
    AppendUtf16(out, c);
    i += n;
  }
  return true;
}

WString Utf16FromFileName(const std::string& name) {
  WString out;
  out.reserve(name.size());
  for (size_t i = 0; i < name.size();) {
    char32_t c = 0;
    size_t n = DecodeUtf8(name, i, c);
    if (n == 0 || (c >= 0xD800 && c < 0xE000)) {
      c = kEscapedByte + static_cast<unsigned char>(name[i]);
      n = 1;
    }
    AppendUtf16(out, c);
    i += n;
  }
  return out;
}

std::string FileNameFromUtf16(const WString& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char32_t c = NextCodePoint(text, i);
    if (c >= kEscapedByte + 0x80 && c <= kEscapedByte + 0xFF)
      out += static_cast<char>(c - kEscapedByte);
    else
      AppendUtf8(out, c);
  }
  return out;
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
