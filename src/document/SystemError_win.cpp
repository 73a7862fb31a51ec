#include "SystemError.h"

#include "Utf.h"

std::string SystemErrorText(uint32_t error) {
  const std::string number = "Windows error " + std::to_string(error);
  wchar_t text[512];
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
      nullptr, error, 0, text, sizeof text / sizeof text[0], nullptr);
  // Our messages are one line: the system's final stop and spaces go.
  while (n > 0 && (text[n - 1] == L' ' || text[n - 1] == L'.' || text[n - 1] == L'\r' ||
                   text[n - 1] == L'\n'))
    --n;
  return n == 0 ? number : Utf8FromUtf16(WString(text, n)) + ", " + number;
}
