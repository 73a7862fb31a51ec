#include "ValueText.h"

#include "NumberText.h"
#include "OleDate.h"
#include "UniqueVariant.h"
#include "Utf.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

// Units per piece of a long text: its escaped form stays far below a megabyte.
constexpr size_t kPieceUnits = 16 * 1024;
constexpr size_t kPieceBytes = 64 * 1024;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void AppendUtf8(std::string& out, char32_t c) { out += Utf8FromUtf16(WString(1, OLECHAR(c))); }

bool IsHigh(OLECHAR c) { return c >= 0xD800 && c < 0xDC00; }
bool IsLow(OLECHAR c) { return c >= 0xDC00 && c < 0xE000; }

// Walks text unit by unit, handing paired surrogates over together and
// unpaired ones on their own.
template <typename PairFn, typename UnitFn>
void ForEachCharacter(const WString& text, PairFn onPair, UnitFn onUnit) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsHigh(text[i]) && i + 1 < text.size() && IsLow(text[i + 1])) {
      onPair(text.substr(i, 2));
      ++i;
    } else {
      onUnit(text[i]);
    }
  }
}

// The two escaped forms text is written in: the dump's, and JSON's as
// nlohmann's dump writes a string.
enum class Form { Dump, Json };

// Appends \uXXXX to at, in upper-case hex for the dump, lower-case for JSON.
char* PutEscape(char* at, unsigned unit, Form form) {
  const char* digits = form == Form::Dump ? kHexDigits : "0123456789abcdef";
  *at++ = '\\';
  *at++ = 'u';
  for (int shift = 12; shift >= 0; shift -= 4) *at++ = digits[(unit >> shift) & 15];
  return at;
}

char* PutUtf8(char* at, char32_t c) {
  if (c < 0x80) {
    *at++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *at++ = static_cast<char>(0xC0 | c >> 6);
    *at++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *at++ = static_cast<char>(0xE0 | c >> 12);
    *at++ = static_cast<char>(0x80 | (c >> 6 & 0x3F));
    *at++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *at++ = static_cast<char>(0xF0 | c >> 18);
    *at++ = static_cast<char>(0x80 | (c >> 12 & 0x3F));
    *at++ = static_cast<char>(0x80 | (c >> 6 & 0x3F));
    *at++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return at;
}

// Writes text as UTF-8 with the escapes of form: quotes, backslashes and
// control characters escaped in both; 0x7F and unpaired surrogates as
// \uXXXX in the dump, while JSON keeps 0x7F and shows U+FFFD for an unpaired
// surrogate. It goes straight into the output's buffer, a run of units at a
// time, each run ending after a whole character, so that no character is
// ever parted and nothing is held per character. False when the text held
// an unpaired surrogate.
bool WriteEscaped(ValueText::WStringView text, Form form, ChunkedOut& out) {
  // A unit takes at most 6 bytes (\uXXXX); a pair, two units, takes 4.
  constexpr size_t kRunUnits = 4096;
  constexpr size_t kMostPerUnit = 6;
  bool paired = true;
  for (size_t i = 0; i < text.size();) {
    const size_t runEnd = i + std::min(kRunUnits, text.size() - i);
    char* at = out.Room((runEnd - i) * kMostPerUnit);
    for (; i < runEnd; ++i) {
      const OLECHAR c = text[i];
      if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
        *at++ = static_cast<char>(c);
        continue;
      }
      char escape = 0;
      switch (c) {
        case '"': escape = '"'; break;
        case '\\': escape = '\\'; break;
        case '\n': escape = 'n'; break;
        case '\r': escape = 'r'; break;
        case '\t': escape = 't'; break;
        case '\b': escape = form == Form::Json ? 'b' : 0; break;
        case '\f': escape = form == Form::Json ? 'f' : 0; break;
        default: break;
      }
      if (escape) {
        *at++ = '\\';
        *at++ = escape;
      } else if (c < 0x20 || (c == 0x7F && form == Form::Dump)) {
        at = PutEscape(at, c, form);
      } else if (IsHigh(c) && i + 1 < text.size() && IsLow(text[i + 1])) {
        // The pair may end one unit past the run: its 4 bytes fit in the
        // room of the unit before.
        at = PutUtf8(at, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
        ++i;
      } else if (IsHigh(c) || IsLow(c)) {
        paired = false;
        at = form == Form::Dump ? PutEscape(at, c, form) : PutUtf8(at, 0xFFFD);
      } else {
        at = PutUtf8(at, c);
      }
    }
    out.Wrote(at);
  }
  return paired;
}

// Converts UTF-8 to UTF-16 a piece at a time, each cut before a byte that
// starts a character, so that the pieces are valid exactly when the whole
// is; false for bytes that are not UTF-8.
bool ForEachUtf8Piece(const std::string& utf8, const std::function<void(const WString&)>& visit) {
  WString piece;
  for (size_t at = 0; at < utf8.size();) {
    size_t end = std::min(kPieceBytes, utf8.size() - at) + at;
    // A character has at most 3 bytes after its first.
    for (int k = 0; k < 3 && end < utf8.size() && (utf8[end] & 0xC0) == 0x80; ++k) --end;
    if (!Utf16FromUtf8(utf8.substr(at, end - at), piece)) return false;
    visit(piece);
    at = end;
  }
  return true;
}

// Reads exactly n digits at pos.
bool Digits(const std::string& text, size_t& pos, size_t n, int& out) {
  if (text.size() - pos < n) return false;
  out = 0;
  for (size_t k = 0; k < n; ++k) {
    if (!IsDigit(text[pos + k])) return false;
    out = out * 10 + (text[pos + k] - '0');
  }
  pos += n;
  return true;
}

bool Expect(const std::string& text, size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

const char kDateForms[] =
    "not a date: use ISO 8601 (YYYY-MM-DD, YYYY-MM-DDTHH:MM[:SS[.fff]]) or a number of days";

bool ParseCalendar(const std::string& text, double& out, std::string& why) {
  size_t pos = 0;
  CivilTime civil;
  int hour = 0, minute = 0, second = 0;
  double fraction = 0;
  why = kDateForms + std::string(": ") + text;
  if (!Digits(text, pos, 4, civil.year) || !Expect(text, pos, '-') ||
      !Digits(text, pos, 2, civil.month) || !Expect(text, pos, '-') ||
      !Digits(text, pos, 2, civil.day))
    return false;
  if (pos < text.size()) {
    const char t = text[pos++];
    if (t != 'T' && t != 't' && t != ' ') return false;
    if (!Digits(text, pos, 2, hour) || !Expect(text, pos, ':') || !Digits(text, pos, 2, minute))
      return false;
    if (pos < text.size() && text[pos] == ':') {
      ++pos;
      if (!Digits(text, pos, 2, second)) return false;
      if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
        ++pos;
        size_t n = 0;
        double digits = 0, scale = 1;
        while (pos < text.size() && IsDigit(text[pos]) && n < 9) {
          digits = digits * 10 + (text[pos++] - '0');
          scale *= 10;
          ++n;
        }
        if (n == 0 || (pos < text.size() && IsDigit(text[pos]))) return false;
        fraction = digits / scale;
      }
    }
    if (pos < text.size() &&
        (text[pos] == 'Z' || text[pos] == 'z' || text[pos] == '+' || text[pos] == '-')) {
      why = "a date with a time zone: automation dates have none, give the local time";
      return false;
    }
  }
  if (pos != text.size()) return false;
  if (hour > 23 || minute > 59 || second > 59) {
    why = "not a time of day: " + text;
    return false;
  }
  double day = 0;
  if (!OleDateFromCivil(civil, day)) {
    why = "not a calendar date from 0100-01-01 to 9999-12-31: " + text;
    return false;
  }
  // The same arithmetic as the calendar conversion: before 30 December 1899
  // the day counts backwards but the time of day still counts forwards.
  const double time = ((hour * 60.0 + minute) * 60.0 + second + fraction) / 86400.0;
  out = day >= 0 ? day + time : day - time;
  // A fraction of a second can still carry 31 December 9999 past midnight.
  CivilTime check;
  if (!CivilFromOleDate(out, check, 1000)) {
    why = "not a calendar date from 0100-01-01 to 9999-12-31: " + text;
    return false;
  }
  return true;
}

}  // namespace

std::string ValueText::FormatDouble(double value) { return NumberText::Shortest(value); }

namespace {

template <typename T>
void WriteDigits(T value, ChunkedOut& out) {
  char digits[32];
  const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out << std::string_view(digits, static_cast<size_t>(end - digits));
}

}  // namespace

void ValueText::WriteNumber(int32_t value, ChunkedOut& out) { WriteDigits(value, out); }

void ValueText::WriteFinite(double value, ChunkedOut& out) { WriteDigits(value, out); }

bool ValueText::FormatIsoDate(double date, std::string& out) {
  CivilTime c;
  if (!CivilFromOleDate(date, c, 1000)) return false;
  // Years run from 100 to 9999: every field has a fixed width.
  char text[] = "0000-00-00T00:00:00.000";
  const auto put = [&text](size_t at, int value, int width) {
    for (int i = width - 1; i >= 0; --i, value /= 10)
      text[at + static_cast<size_t>(i)] = static_cast<char>('0' + value % 10);
  };
  put(0, c.year, 4);
  put(5, c.month, 2);
  put(8, c.day, 2);
  put(11, c.hour, 2);
  put(14, c.minute, 2);
  put(17, c.second, 2);
  put(20, c.millisecond, 3);
  out.assign(text, c.millisecond ? 23 : 19);
  return true;
}

std::string ValueText::BitsHex(const double& value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  std::string out(16, '0');
  for (int i = 15; i >= 0; --i, bits >>= 4) out[static_cast<size_t>(i)] = kHexDigits[bits & 15];
  return out;
}

bool ValueText::DoubleFromBitsHex(const std::string& hex, double& out) {
  if (hex.size() != 16) return false;
  uint64_t bits = 0;
  for (char c : hex) {
    const int v = HexValue(c);
    if (v < 0) return false;
    bits = bits << 4 | static_cast<uint64_t>(v);
  }
  std::memcpy(&out, &bits, sizeof out);
  return true;
}

std::string ValueText::UnitsHex(const WString& text) {
  std::string out;
  out.reserve(text.size() * 4);
  for (OLECHAR c : text)
    for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(c >> shift) & 15];
  return out;
}

bool ValueText::UnitsFromHex(const std::string& hex, WString& out) {
  out.clear();
  if (hex.size() % 4) return false;
  out.reserve(hex.size() / 4);
  for (size_t i = 0; i < hex.size(); i += 4) {
    unsigned unit = 0;
    for (size_t k = 0; k < 4; ++k) {
      const int v = HexValue(hex[i + k]);
      if (v < 0) return false;
      unit = unit << 4 | static_cast<unsigned>(v);
    }
    out += static_cast<OLECHAR>(unit);
  }
  return true;
}

std::string ValueText::Readable(const WString& text) {
  if (IsValidUtf16(text)) return Utf8FromUtf16(text);
  std::string out;
  ForEachCharacter(
      text, [&](const WString& pair) { out += Utf8FromUtf16(pair); },
      [&](OLECHAR c) { AppendUtf8(out, IsHigh(c) || IsLow(c) ? 0xFFFD : c); });
  return out;
}

void ValueText::WriteQuoted(WStringView text, ChunkedOut& out) {
  out << "\"";
  WriteEscaped(text, Form::Dump, out);
  out << "\"";
}

bool ValueText::WriteJsonText(WStringView text, ChunkedOut& out) {
  return WriteEscaped(text, Form::Json, out);
}

void ValueText::WriteUnitsHex(WStringView text, ChunkedOut& out) {
  constexpr size_t kRunUnits = 4096;
  for (size_t i = 0; i < text.size();) {
    const size_t runEnd = i + std::min(kRunUnits, text.size() - i);
    char* at = out.Room((runEnd - i) * 4);
    for (; i < runEnd; ++i)
      for (int shift = 12; shift >= 0; shift -= 4) *at++ = kHexDigits[(text[i] >> shift) & 15];
    out.Wrote(at);
  }
}

void ValueText::ForEachPiece(WStringView text, const std::function<void(const WString&)>& visit) {
  for (size_t at = 0; at < text.size();) {
    size_t size = std::min(kPieceUnits, text.size() - at);
    if (at + size < text.size() && IsHigh(text[at + size - 1]) && IsLow(text[at + size])) ++size;
    visit(WString(text.substr(at, size)));
    at += size;
  }
}

bool ValueText::BstrFromUtf8(const std::string& utf8, UniqueBstr& out) {
  size_t units = 0;
  if (!ForEachUtf8Piece(utf8, [&units](const WString& piece) { units += piece.size(); }))
    return false;
  out.reset(SysAllocStringLen(nullptr, static_cast<UINT>(units)));
  if (!out.get()) throw std::bad_alloc();
  OLECHAR* at = out.get();
  ForEachUtf8Piece(utf8,
                   [&at](const WString& piece) { at = std::copy(piece.begin(), piece.end(), at); });
  return true;
}

bool ValueText::TextOf(const VARIANT& value, WString& held, WStringView& out) {
  held.clear();
  out = WStringView();
  if (value.vt == VT_BSTR) {
    if (value.bstrVal) out = WStringView(value.bstrVal, SysStringLen(value.bstrVal));
    return true;
  }
  UniqueVariant text;
  const bool ok = SUCCEEDED(VariantChangeType(&text, const_cast<VARIANT*>(&value), 0, VT_BSTR)) &&
                  text.vt == VT_BSTR;
  if (ok && text.bstrVal) held.assign(text.bstrVal, SysStringLen(text.bstrVal));
  out = held;
  return ok;
}

bool ValueText::ParseI4(const std::string& text, int32_t& out, std::string& why) {
  why = "not a 32-bit integer (i4): " + text;
  size_t pos = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) pos = 1;
  if (pos == text.size()) return false;
  int64_t value = 0;
  for (; pos < text.size(); ++pos) {
    if (!IsDigit(text[pos])) return false;
    value = value * 10 + (text[pos] - '0');
    if (value > 2147483648LL) {
      why = "out of the 32-bit integer range (i4): " + text;
      return false;
    }
  }
  if (negative) value = -value;
  if (value > 2147483647LL) {
    why = "out of the 32-bit integer range (i4): " + text;
    return false;
  }
  out = static_cast<int32_t>(value);
  return true;
}

bool ValueText::ParseR8(const std::string& text, double& out, std::string& why) {
  why = "not a number (r8): " + text;
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+' && end - begin > 1 && begin[1] != '-') ++begin;
  if (begin == end) return false;
  const std::from_chars_result r = std::from_chars(begin, end, out);
  if (r.ec == std::errc::result_out_of_range) {
    why = "out of the range of a double (r8): " + text;
    return false;
  }
  return r.ec == std::errc() && r.ptr == end;
}

bool ValueText::ParseIsoDate(const std::string& text, double& out, std::string& why) {
  return ParseCalendar(text, out, why);
}

bool ValueText::ParseDate(const std::string& text, double& out, std::string& why) {
  if (text.size() >= 5 && IsDigit(text[0]) && IsDigit(text[1]) && IsDigit(text[2]) &&
      IsDigit(text[3]) && text[4] == '-')
    return ParseCalendar(text, out, why);
  if (!ParseR8(text, out, why)) {
    why = kDateForms + std::string(": ") + text;
    return false;
  }
  if (!(out >= kMinOleDate && out < kMaxOleDate)) {
    why = "outside the dates from 0100-01-01 to 9999-12-31: " + text;
    return false;
  }
  return true;
}
