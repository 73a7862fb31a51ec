#include "Console.h"

#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

#ifdef _WIN32

// True when the text went to a console window through the wide API.
bool WriteToConsole(DWORD which, const std::string& utf8) {
  HANDLE h = GetStdHandle(which);
  DWORD mode = 0;
  if (h == INVALID_HANDLE_VALUE || h == nullptr || !GetConsoleMode(h, &mode)) return false;
  if (utf8.empty()) return true;
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) return false;
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
  DWORD written = 0;
  return WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != 0;
}

#endif

void Write(FILE* stream, const std::string& utf8) {
#ifdef _WIN32
  fflush(stream);
  if (WriteToConsole(stream == stdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE, utf8)) return;
#endif
  fwrite(utf8.data(), 1, utf8.size(), stream);
  fflush(stream);
}

}  // namespace

void Console::Out(const std::string& utf8) { Write(stdout, utf8); }

void Console::Err(const std::string& utf8) { Write(stderr, utf8); }

std::string Console::ReadStdin() {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  std::string bytes;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, stdin)) > 0) bytes.append(buffer, n);
  return bytes;
}
