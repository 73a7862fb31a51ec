#include "NameMatch.h"

bool NamesEqual(const OLECHAR* a, const OLECHAR* b) {
  return lstrcmpiW(a ? a : OLESTR(""), b ? b : OLESTR("")) == 0;
}

bool PrefixEqual(const OLECHAR* a, const OLECHAR* b, int count) {
  return StrCmpNIW(a, b, count) == 0;
}

void LowerCase(WString& text) {
  if (!text.empty()) CharLowerBuffW(&text[0], static_cast<UINT>(text.size()));
}
