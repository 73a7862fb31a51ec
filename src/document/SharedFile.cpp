#include "SharedFile.h"

#ifdef _WIN32

SharedFile::~SharedFile() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

bool SharedFile::Open(const OLECHAR* path) {
  if (!path || !*path) return false;
  file_ = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  LARGE_INTEGER size;
  if (file_ == INVALID_HANDLE_VALUE || !GetFileSizeEx(file_, &size)) return false;
  size_ = static_cast<uint64_t>(size.QuadPart);
  return true;
}

size_t SharedFile::Read(uint8_t* into, size_t n) {
  size_t at = 0;
  while (at < n) {
    const DWORD chunk = static_cast<DWORD>(n - at > 0x40000000 ? 0x40000000 : n - at);
    DWORD done = 0;
    if (!ReadFile(file_, into + at, chunk, &done, nullptr) || done == 0) break;
    at += done;
  }
  return at;
}

#else

#include "Utf.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

SharedFile::~SharedFile() {
  if (file_ >= 0) close(file_);
}

// Writers are kept out by an advisory shared lock: programs that take locks
// (this library, the tool) cannot save the file meanwhile.
bool SharedFile::Open(const OLECHAR* path) {
  if (!path || !*path) return false;
  // Non-blocking, so that a FIFO cannot hold the open up forever; only
  // regular files are read.
  file_ = open(Utf8FromUtf16(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st;
  if (file_ < 0 || flock(file_, LOCK_SH | LOCK_NB) != 0 || fstat(file_, &st) != 0 ||
      !S_ISREG(st.st_mode))
    return false;
  size_ = static_cast<uint64_t>(st.st_size);
  return true;
}

size_t SharedFile::Read(uint8_t* into, size_t n) {
  size_t at = 0;
  while (at < n) {
    const ssize_t done = read(file_, into + at, n - at);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) break;
    at += static_cast<size_t>(done);
  }
  return at;
}

#endif
