// The automation types the portable code uses: VARIANT, BSTR, the variant
// functions, and case-insensitive wide comparison.
//
// On Windows this is the real system (oleaut32, kernel32, shlwapi). Elsewhere
// it is a small stand-in with the same names and the same behaviour for the
// value types a virtual document holds. Wide text is UTF-16 in both builds:
// OLECHAR is wchar_t on Windows and char16_t elsewhere (wchar_t is 4 bytes on
// Linux), so portable code spells wide literals with OLESTR("...").
#pragma once

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <oleauto.h>
#include <shlwapi.h>

#else

#include <cstddef>
#include <cstdint>

typedef char16_t OLECHAR;
typedef OLECHAR* BSTR;
typedef const OLECHAR* LPCOLESTR;
typedef int32_t HRESULT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef uint8_t BYTE;
typedef int8_t CHAR;
typedef uint32_t UINT;
typedef int32_t INT;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uint16_t VARTYPE;
typedef int16_t VARIANT_BOOL;
typedef double DATE;
typedef int32_t SCODE;

#define OLESTR(s) u##s
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001)
#define E_POINTER ((HRESULT)0x80004003)
#define E_FAIL ((HRESULT)0x80004005)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008)
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005)
#define DISP_E_OVERFLOW ((HRESULT)0x8002000A)

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0fff
};

union CY {
  struct {
    ULONG Lo;
    LONG Hi;
  } s;
  LONGLONG int64;
};

struct VARIANT {
  VARTYPE vt;
  USHORT wReserved1, wReserved2, wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    CY cyVal;
    DATE date;
    BSTR bstrVal;
    CHAR cVal;
    USHORT uiVal;
    ULONG ulVal;
    ULONGLONG ullVal;
    INT intVal;
    UINT uintVal;
    void* byref;
  };
};
typedef VARIANT VARIANTARG;

// BSTR: a 32-bit byte length before the text, a zero unit after it.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);

void VariantInit(VARIANT* v);
HRESULT VariantClear(VARIANT* v);
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// As VariantCopy, but a by-reference value is copied as the value it points to.
HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src);
// Supports conversion to VT_BSTR from the scalar types and VT_BSTR itself;
// anything else gives DISP_E_TYPEMISMATCH, as the system does for types
// that have no text form.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt);

// Case-insensitive comparison by the simple Unicode lower-case mapping of
// each UTF-16 unit; 0 means equal.
int lstrcmpiW(const OLECHAR* a, const OLECHAR* b);
int StrCmpNIW(const OLECHAR* a, const OLECHAR* b, int count);
// Lower-cases length units in place; returns length.
UINT CharLowerBuffW(OLECHAR* text, UINT length);

#endif

#include <string>

// The wide string type of the portable code (UTF-16 in both builds).
using WString = std::basic_string<OLECHAR>;
