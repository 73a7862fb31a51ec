#include "SharedFileRead.h"

#ifdef _WIN32

bool ReadSharedFile(const OLECHAR* path, std::vector<uint8_t>& bytes) {
  bytes.clear();
  if (!path || !*path) return false;
  HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  bool ok = GetFileSizeEx(h, &size) && size.QuadPart < 0x7FFFFFFF;
  if (ok) {
    try {
      bytes.resize(static_cast<size_t>(size.QuadPart));
    } catch (...) {
      ok = false;
    }
  }
  DWORD done = 0;
  for (size_t at = 0; ok && at < bytes.size(); at += done) {
    ok = ReadFile(h, bytes.data() + at, static_cast<DWORD>(bytes.size() - at), &done, nullptr) &&
         done > 0;
  }
  CloseHandle(h);
  return ok;
}

#else

#include "Utf.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

// Writers are kept out by an advisory shared lock: other programs that take
// locks (the tool, other documents) cannot save the file meanwhile.
bool ReadSharedFile(const OLECHAR* path, std::vector<uint8_t>& bytes) {
  bytes.clear();
  if (!path || !*path) return false;
  const std::string name = Utf8FromUtf16(path);
  const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = flock(fd, LOCK_SH | LOCK_NB) == 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (ok) {
    try {
      bytes.resize(static_cast<size_t>(st.st_size));
    } catch (...) {
      ok = false;
    }
  }
  for (size_t at = 0; ok && at < bytes.size();) {
    const ssize_t n = read(fd, bytes.data() + at, bytes.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;  // the file shrank under us
    else at += static_cast<size_t>(n);
  }
  close(fd);
  return ok;
}

#endif
