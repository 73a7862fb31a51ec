// The native stand-in for the automation runtime. It matches the system's
// results for the value types a virtual document meets; the document tests
// run against both, under Wine for the system.
#include "Automation.h"

#include "OleDate.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

struct LowerRun {
  char16_t first, last;
  int delta, step;
};

constexpr LowerRun kLowerRuns[] = {
#include "LowerCaseTable.inc"
};

OLECHAR ToLower(OLECHAR c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<OLECHAR>(c + 32) : c;
  // The runs are sorted by their first unit.
  size_t lo = 0, hi = sizeof kLowerRuns / sizeof kLowerRuns[0];
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    if (kLowerRuns[mid].last < c)
      lo = mid + 1;
    else
      hi = mid;
  }
  if (lo == sizeof kLowerRuns / sizeof kLowerRuns[0]) return c;
  const LowerRun& run = kLowerRuns[lo];
  if (c < run.first || (c - run.first) % run.step != 0) return c;
  return static_cast<OLECHAR>(c + run.delta);
}

UINT Length(const OLECHAR* text) {
  UINT n = 0;
  if (text)
    while (text[n]) ++n;
  return n;
}

HRESULT MakeBstr(VARIANT* dest, const char* ascii) {
  const size_t n = std::strlen(ascii);
  BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(n));
  if (!b) return E_OUTOFMEMORY;
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<OLECHAR>(ascii[i]);
  dest->vt = VT_BSTR;
  dest->bstrVal = b;
  return S_OK;
}

// Doubles print with the runtime's 15 (or, for floats, 7) significant digits.
void FormatReal(char* buf, size_t size, double value, int digits) {
  if (std::isnan(value)) {
    std::snprintf(buf, size, "NAN");
    return;
  }
  if (std::isinf(value)) {
    std::snprintf(buf, size, value < 0 ? "-INF" : "INF");
    return;
  }
  if (value == 0) value = 0;  // no "-0"
  std::snprintf(buf, size, "%.*G", digits, value);
}

void FormatCurrency(char* buf, size_t size, int64_t units) {
  const bool negative = units < 0;
  const uint64_t magnitude =
      negative ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
  int n = std::snprintf(buf, size, "%s%llu", negative ? "-" : "",
                        static_cast<unsigned long long>(magnitude / 10000));
  unsigned fraction = static_cast<unsigned>(magnitude % 10000);
  if (fraction) {
    int digits = 4;
    while (fraction % 10 == 0) {
      fraction /= 10;
      --digits;
    }
    std::snprintf(buf + n, size - n, ".%0*u", digits, fraction);
  }
}

// m/d/yyyy and h:mm:ss AM/PM, as the system writes dates in the US locale:
// day 0 shows only the time, any other whole number of days only the date.
bool FormatDate(char* buf, size_t size, double date) {
  CivilTime t;
  if (!CivilFromOleDate(date, t, 1)) return false;
  const double whole = std::trunc(date);
  const bool showDate = whole != 0;
  const bool showTime = whole == 0 || date != whole;
  int n = 0;
  if (showDate) n = std::snprintf(buf, size, "%d/%d/%d", t.month, t.day, t.year);
  if (showTime) {
    const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
    std::snprintf(buf + n, size - n, "%s%d:%02d:%02d %s", n ? " " : "", hour12, t.minute, t.second,
                  t.hour < 12 ? "AM" : "PM");
  }
  return true;
}

// The text form of one scalar value, or a failure code for types without one.
HRESULT ScalarToText(VARTYPE vt, const void* p, VARIANT* dest) {
  char buf[64];
  switch (vt) {
    case VT_EMPTY: return MakeBstr(dest, "");
    case VT_I1: std::snprintf(buf, sizeof buf, "%d", *static_cast<const int8_t*>(p)); break;
    case VT_UI1: std::snprintf(buf, sizeof buf, "%u", *static_cast<const uint8_t*>(p)); break;
    case VT_I2:
    case VT_BOOL: std::snprintf(buf, sizeof buf, "%d", *static_cast<const int16_t*>(p)); break;
    case VT_UI2: std::snprintf(buf, sizeof buf, "%u", *static_cast<const uint16_t*>(p)); break;
    case VT_I4:
    case VT_INT:
      std::snprintf(buf, sizeof buf, "%ld", static_cast<long>(*static_cast<const int32_t*>(p)));
      break;
    case VT_UI4:
    case VT_UINT:
      std::snprintf(buf, sizeof buf, "%lu",
                    static_cast<unsigned long>(*static_cast<const uint32_t*>(p)));
      break;
    case VT_I8:
      std::snprintf(buf, sizeof buf, "%lld",
                    static_cast<long long>(*static_cast<const int64_t*>(p)));
      break;
    case VT_UI8:
      std::snprintf(buf, sizeof buf, "%llu",
                    static_cast<unsigned long long>(*static_cast<const uint64_t*>(p)));
      break;
    case VT_R4: FormatReal(buf, sizeof buf, *static_cast<const float*>(p), 7); break;
    case VT_R8: FormatReal(buf, sizeof buf, *static_cast<const double*>(p), 15); break;
    case VT_CY: FormatCurrency(buf, sizeof buf, *static_cast<const int64_t*>(p)); break;
    case VT_DATE:
      if (!FormatDate(buf, sizeof buf, *static_cast<const double*>(p))) return E_INVALIDARG;
      break;
    case VT_NULL:
    case VT_ERROR:
    case VT_UNKNOWN: return DISP_E_TYPEMISMATCH;
    default: return DISP_E_BADVARTYPE;
  }
  return MakeBstr(dest, buf);
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
  return text ? SysAllocStringLen(text, Length(text)) : nullptr;
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  if (length > (0x7FFFFFFFu - sizeof(uint32_t) - sizeof(OLECHAR)) / sizeof(OLECHAR)) return nullptr;
  const uint32_t bytes = length * sizeof(OLECHAR);
  auto* block = static_cast<char*>(std::malloc(sizeof(uint32_t) + bytes + sizeof(OLECHAR)));
  if (!block) return nullptr;
  std::memcpy(block, &bytes, sizeof bytes);
  auto* chars = reinterpret_cast<OLECHAR*>(block + sizeof(uint32_t));
  if (text)
    std::memcpy(chars, text, bytes);
  else
    std::memset(chars, 0, bytes);
  chars[length] = 0;
  return chars;
}

void SysFreeString(BSTR text) {
  if (text) std::free(reinterpret_cast<char*>(text) - sizeof(uint32_t));
}

UINT SysStringLen(BSTR text) {
  if (!text) return 0;
  uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<char*>(text) - sizeof(uint32_t), sizeof bytes);
  return bytes / sizeof(OLECHAR);
}

void VariantInit(VARIANT* v) {
  v->vt = VT_EMPTY;
  v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
}

HRESULT VariantClear(VARIANT* v) {
  if (!v) return E_INVALIDARG;
  if (v->vt == VT_BSTR) SysFreeString(v->bstrVal);
  v->vt = VT_EMPTY;
  return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (dest == src) return S_OK;
  // The native documents hold scalars and text only: no objects, arrays or decimals.
  const VARTYPE base = src->vt & VT_TYPEMASK;
  const bool scalar =
      base <= VT_BSTR || base == VT_ERROR || base == VT_BOOL || (base >= VT_I1 && base <= VT_UINT);
  if (!scalar || (src->vt & ~(VT_TYPEMASK | VT_BYREF)) || (base <= VT_NULL && (src->vt & VT_BYREF)))
    return DISP_E_BADVARTYPE;
  VariantClear(dest);
  *dest = *src;
  if (src->vt == VT_BSTR && src->bstrVal) {
    dest->bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
    if (!dest->bstrVal) {
      dest->vt = VT_EMPTY;
      return E_OUTOFMEMORY;
    }
  }
  return S_OK;
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src || ((src->vt & VT_BYREF) && !src->byref)) return E_INVALIDARG;
  if (!(src->vt & VT_BYREF)) return VariantCopy(dest, src);
  const VARTYPE base = src->vt & ~VT_BYREF;
  VARIANT value;
  VariantInit(&value);
  value.vt = base;
  switch (base) {
    case VT_I1:
    case VT_UI1: value.bVal = *static_cast<const BYTE*>(src->byref); break;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL: value.uiVal = *static_cast<const USHORT*>(src->byref); break;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR: value.ulVal = *static_cast<const ULONG*>(src->byref); break;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_DATE:
    case VT_CY: value.ullVal = *static_cast<const ULONGLONG*>(src->byref); break;
    case VT_BSTR: value.bstrVal = *static_cast<BSTR*>(src->byref); break;  // copied below
    case VT_VARIANT: {
      const VARIANT* inner = static_cast<const VARIANT*>(src->byref);
      if (inner->vt & VT_BYREF) return E_INVALIDARG;  // one level only
      return VariantCopy(dest, inner);
    }
    default: return DISP_E_BADVARTYPE;
  }
  return VariantCopy(dest, &value);
}

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt) {
  if (!dest || !src) return E_INVALIDARG;
  if (vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
  VARIANT result;
  VariantInit(&result);
  HRESULT hr;
  if (src->vt == VT_BSTR) {
    hr = VariantCopy(&result, src);
    if (SUCCEEDED(hr) && !result.bstrVal) hr = MakeBstr(&result, "");
  } else if (src->vt & VT_BYREF) {
    const VARTYPE base = src->vt & ~VT_BYREF;
    if (base == VT_BSTR) {
      VARIANT inner;
      VariantInit(&inner);
      inner.vt = VT_BSTR;
      inner.bstrVal = *static_cast<BSTR*>(src->byref);
      return VariantChangeType(dest, &inner, flags, vt);
    }
    hr = src->byref ? ScalarToText(base, src->byref, &result) : E_INVALIDARG;
  } else {
    hr = ScalarToText(src->vt, &src->llVal, &result);
  }
  if (FAILED(hr)) return hr;
  VariantClear(dest);  // src may be dest: result already holds the copy
  *dest = result;
  return S_OK;
}

int lstrcmpiW(const OLECHAR* a, const OLECHAR* b) {
  if (!a) a = u"";
  if (!b) b = u"";
  for (;; ++a, ++b) {
    const OLECHAR x = ToLower(*a), y = ToLower(*b);
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
}

int StrCmpNIW(const OLECHAR* a, const OLECHAR* b, int count) {
  if (!a) a = u"";
  if (!b) b = u"";
  for (int i = 0; i < count; ++i) {
    const OLECHAR x = ToLower(a[i]), y = ToLower(b[i]);
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
  return 0;
}

UINT CharLowerBuffW(OLECHAR* text, UINT length) {
  for (UINT i = 0; i < length; ++i) text[i] = ToLower(text[i]);
  return length;
}
