#include "Console.h"

#include "SystemError.h"
#include "ToolError.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

// Standard output is written without a buffer of the C library's, so that
// every write is checked where it happens and nothing is left to write at exit.
bool g_outWritten = false;
bool g_outFailed = false;  // nothing more is written after the first failure

[[noreturn]] void OutFailed(const std::string& reason) {
  g_outFailed = true;
  throw ToolError(ToolError::kFileProblem, "writing standard output failed: " + reason);
}

#ifdef _WIN32

// The console window behind a standard handle; null for a pipe or a file.
HANDLE ConsoleOf(DWORD which) {
  HANDLE h = GetStdHandle(which);
  DWORD mode = 0;
  return h != INVALID_HANDLE_VALUE && h != nullptr && GetConsoleMode(h, &mode) ? h : nullptr;
}

// Through the wide API, so that every character shows; false with
// GetLastError() set when the console refuses it.
bool WriteConsoleText(HANDLE console, std::string_view utf8) {
  if (utf8.empty()) return true;
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) return false;
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
  for (size_t at = 0; at < wide.size();) {
    DWORD written = 0;
    if (!WriteConsoleW(console, wide.data() + at, static_cast<DWORD>(wide.size() - at), &written,
                       nullptr))
      return false;
    if (written == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    at += written;
  }
  return true;
}

#endif

// All of bytes to a file descriptor (in text mode on Windows, which turns
// "\n" into "\r\n"); false with errno set when a write fails.
bool WriteAll(int fd, const char* bytes, size_t size) {
  for (size_t at = 0; at < size;) {
    const size_t piece = std::min(size - at, size_t{1} << 30);
#ifdef _WIN32
    const int n = _write(fd, bytes + at, static_cast<unsigned>(piece));
#else
    const ssize_t n = write(fd, bytes + at, piece);
    if (n < 0 && errno == EINTR) continue;
#endif
    if (n < 0) return false;
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    at += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

void Console::Out(std::string_view utf8) {
  if (g_outFailed) return;
  g_outWritten = true;
#ifdef _WIN32
  if (HANDLE console = ConsoleOf(STD_OUTPUT_HANDLE)) {
    if (!WriteConsoleText(console, utf8)) OutFailed(SystemErrorText(GetLastError()));
    return;
  }
  const int fd = _fileno(stdout);
#else
  const int fd = STDOUT_FILENO;
#endif
  // errno is the C library's on Windows too: its words, not the system's.
  if (!WriteAll(fd, utf8.data(), utf8.size())) OutFailed(std::strerror(errno));
}

void Console::OutBytes(const void* data, size_t size) {
#ifdef _WIN32
  // A console, not every character device: NUL takes the bytes.
  const int fd = _fileno(stdout);
  if (ConsoleOf(STD_OUTPUT_HANDLE))
#else
  const int fd = STDOUT_FILENO;
  if (isatty(fd))
#endif
    throw ToolError(ToolError::kUsage,
                    "standard output is a terminal: redirect it to a file or a pipe");
  if (g_outFailed) return;
  g_outWritten = true;
#ifdef _WIN32
  _setmode(fd, _O_BINARY);
#endif
  if (!WriteAll(fd, static_cast<const char*>(data), size)) OutFailed(std::strerror(errno));
}

void Console::CloseOut() {
  // Standard output that was never written may have been closed by
  // whoever started the tool; that is no failure.
  if (g_outFailed || !g_outWritten) return;
#ifdef _WIN32
  if (ConsoleOf(STD_OUTPUT_HANDLE)) return;
  const bool closed = _close(_fileno(stdout)) == 0;
#else
  const bool closed = close(STDOUT_FILENO) == 0;
#endif
  if (!closed) OutFailed(std::strerror(errno));
}

void Console::Err(const std::string& utf8) {
#ifdef _WIN32
  fflush(stderr);
  if (HANDLE console = ConsoleOf(STD_ERROR_HANDLE))
    if (WriteConsoleText(console, utf8)) return;
#endif
  fwrite(utf8.data(), 1, utf8.size(), stderr);
  fflush(stderr);
}

std::FILE* Console::In() {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  return stdin;
}
