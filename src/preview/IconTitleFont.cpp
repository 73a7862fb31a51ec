#include "IconTitleFont.h"

#include <shlwapi.h>

UniqueFont IconTitleFont() {
  // Zeroed first: a short value must not leave stack contents in the record.
  LOGFONTW logFont = {};
  DWORD size = sizeof logFont;
  if (::SHGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop\\WindowMetrics", L"IconFont",
                    nullptr, &logFont, &size) != ERROR_SUCCESS)
    return UniqueFont();
  // The face name ends within its field, whatever the value held.
  logFont.lfFaceName[LF_FACESIZE - 1] = L'\0';
  if (HFONT font = ::CreateFontIndirectW(&logFont)) return UniqueFont(font);
  return UniqueFont(::CreateFontW(8, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                                  0, 0, L"MS Sans Serif"));
}
