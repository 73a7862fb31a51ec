#include "IconTitleFont.h"

#include "SharedKey.h"

namespace {

// "IconFont" into logFont, whatever its type. Zeroed first: a short value
// must not leave stack contents in the record.
bool ReadIconFont(LOGFONTW& logFont) {
  static SharedKey metrics(HKEY_CURRENT_USER, L"Control Panel\\Desktop\\WindowMetrics");
  return metrics.Read([&](Registry& key) {
    logFont = LOGFONTW();
    DWORD size = sizeof logFont;
    return key.QueryValue(L"IconFont", nullptr, reinterpret_cast<BYTE*>(&logFont), &size);
  });
}

}  // namespace

UniqueFont IconTitleFont() {
  LOGFONTW logFont;
  if (!ReadIconFont(logFont)) return UniqueFont();
  // The face name ends within its field, whatever the value held.
  logFont.lfFaceName[LF_FACESIZE - 1] = L'\0';
  if (HFONT font = ::CreateFontIndirectW(&logFont)) return UniqueFont(font);
  return UniqueFont(::CreateFontW(8, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                                  0, 0, L"MS Sans Serif"));
}
