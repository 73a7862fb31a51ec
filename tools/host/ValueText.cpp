#include "ValueText.h"

#include "NumberText.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

std::string Utf8(const wchar_t* text) {
  if (!text || !*text) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

std::string Utf8(const std::wstring& text) { return Utf8(text.c_str()); }

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0)
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
  return out;
}

std::string DescribeValue(const VARIANT& value) {
  char buffer[64];
  switch (V_VT(&value)) {
    case VT_EMPTY: return "empty";
    case VT_I4:
      std::snprintf(buffer, sizeof buffer, "i4 %ld", static_cast<long>(V_I4(&value)));
      return buffer;
    case VT_R8: return "r8 " + NumberText::Shortest(V_R8(&value));
    case VT_DATE: {
      SYSTEMTIME t;
      if (!VariantTimeToSystemTime(V_DATE(&value), &t)) {
        return "date " + NumberText::Shortest(V_DATE(&value));
      }
      std::snprintf(buffer, sizeof buffer, "date %04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth,
                    t.wDay, t.wHour, t.wMinute, t.wSecond);
      return buffer;
    }
    case VT_BSTR: return "text \"" + Utf8(V_BSTR(&value)) + "\"";
    default:
      std::snprintf(buffer, sizeof buffer, "vt %u", static_cast<unsigned>(V_VT(&value)));
      return buffer;
  }
}

namespace {

bool ParseDate(const std::wstring& text, DATE& out) {
  SYSTEMTIME t = {};
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  wchar_t sep = 0, extra = 0;
  const int n = swscanf(text.c_str(), L"%4u-%2u-%2u%lc%2u:%2u:%2u%lc", &year, &month, &day, &sep,
                        &hour, &minute, &second, &extra);
  if (n != 3 && !(n == 7 && (sep == L'T' || sep == L' '))) return false;
  t.wYear = static_cast<WORD>(year);
  t.wMonth = static_cast<WORD>(month);
  t.wDay = static_cast<WORD>(day);
  t.wHour = static_cast<WORD>(hour);
  t.wMinute = static_cast<WORD>(minute);
  t.wSecond = static_cast<WORD>(second);
  return SystemTimeToVariantTime(&t, &out) != 0;
}

}  // namespace

bool ParseValue(const std::wstring& type, const std::wstring& text, VARIANT& out) {
  VariantInit(&out);
  if (type == L"text") {
    V_VT(&out) = VT_BSTR;
    V_BSTR(&out) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return V_BSTR(&out) != nullptr;
  }
  if (text.empty()) return false;
  wchar_t* end = nullptr;
  errno = 0;
  if (type == L"i4") {
    const long long v = std::wcstoll(text.c_str(), &end, 10);
    if (*end || errno || v < LONG_MIN || v > LONG_MAX) return false;
    V_VT(&out) = VT_I4;
    V_I4(&out) = static_cast<LONG>(v);
    return true;
  }
  if (type == L"r8") {
    const double v = std::wcstod(text.c_str(), &end);
    if (*end) return false;
    V_VT(&out) = VT_R8;
    V_R8(&out) = v;
    return true;
  }
  if (type == L"date") {
    DATE d = 0;
    if (!ParseDate(text, d)) return false;
    V_VT(&out) = VT_DATE;
    V_DATE(&out) = d;
    return true;
  }
  return false;
}
