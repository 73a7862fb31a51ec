#include "FileSaver.h"

#include <atomic>

namespace {

std::atomic<long long> g_writeLimit{-1};

// How many of size bytes the test seam lets through.
size_t Allowed(size_t size) {
  const long long limit = g_writeLimit.load();
  return limit >= 0 && static_cast<unsigned long long>(limit) < size ? static_cast<size_t>(limit)
                                                                     : size;
}

}  // namespace

void FileSaver::SetWriteLimitForTesting(long long bytes) { g_writeLimit = bytes; }

FileSaver::~FileSaver() {
  Close();
  RemoveTemp();
}

#ifdef _WIN32

namespace {

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return L".";
  if (slash == 0 || (slash == 2 && path[1] == L':')) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

}  // namespace

bool FileSaver::Open(const OLECHAR* path) {
  if (!path || !*path) return false;
  // The full path: the temporary file goes beside the target, and Wine's
  // replace fails on relative names.
  const DWORD needed = GetFullPathNameW(path, 0, nullptr, nullptr);
  if (needed == 0) return false;
  target_.resize(needed);
  const DWORD length = GetFullPathNameW(path, needed, &target_[0], nullptr);
  if (length == 0 || length >= needed) return false;
  target_.resize(length);
  path = target_.c_str();
  // Checked here as well as by the open, which does not refuse an
  // administrator everywhere.
  attributes_ = GetFileAttributesW(path);
  if (attributes_ != INVALID_FILE_ATTRIBUTES &&
      (attributes_ & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
    return false;
  // Share mode 0: nobody else may open the file until the saver is done.
  held_ = CreateFileW(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (held_ != INVALID_HANDLE_VALUE) {
    exists_ = true;
    return true;
  }
  if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;
  // A new file: prove that it can be created, then leave the name free.
  HANDLE probe = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (probe == INVALID_HANDLE_VALUE) return false;
  CloseHandle(probe);
  exists_ = false;
  return true;
}

void FileSaver::Close() {
  if (held_ != INVALID_HANDLE_VALUE) CloseHandle(held_);
  held_ = INVALID_HANDLE_VALUE;
}

void FileSaver::RemoveTemp() {
  if (!temp_.empty()) DeleteFileW(temp_.c_str());
  temp_.clear();
}

bool FileSaver::WriteTemp(const uint8_t* data, size_t size) {
  wchar_t name[MAX_PATH + 1];
  if (!GetTempFileNameW(FolderOf(target_).c_str(), L"tvd", 0, name)) return false;
  temp_ = name;
  HANDLE h = CreateFileW(name, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const size_t allowed = Allowed(size);
  bool ok = true;
  DWORD done = 0;
  for (size_t at = 0; ok && at < allowed; at += done)
    ok = WriteFile(h, data + at, static_cast<DWORD>(allowed - at), &done, nullptr) && done > 0;
  ok = ok && allowed == size && FlushFileBuffers(h);
  CloseHandle(h);
  return ok;
}

bool FileSaver::Commit(const uint8_t* data, size_t size) {
  if (!WriteTemp(data, size)) return false;
  // The exclusive handle must go before the file can be replaced.
  Close();
  const bool ok =
      exists_ ? ReplaceFileW(target_.c_str(), temp_.c_str(), nullptr,
                             REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0
              : MoveFileExW(temp_.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
  if (!ok) return false;
  temp_.clear();
  // The replacement keeps the security descriptor; say the attributes again
  // for systems whose replace does not carry them over.
  if (exists_ && GetFileAttributesW(target_.c_str()) != attributes_)
    SetFileAttributesW(target_.c_str(), attributes_);
  return true;
}

#else

#include "Utf.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  for (size_t at = 0; at < size;) {
    const ssize_t n = write(fd, data + at, size - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool FileSaver::Open(const OLECHAR* path) {
  if (!path || !*path) return false;
  target_ = Utf8FromUtf16(path);
  // Replace the file a symbolic link names, not the link.
  if (char* real = realpath(target_.c_str(), nullptr)) {
    target_ = real;
    std::free(real);
  }
  held_ = open(target_.c_str(), O_WRONLY | O_CLOEXEC);
  if (held_ < 0) {
    if (errno != ENOENT) return false;
    // A new file: prove that it can be created, then leave the name free.
    const int probe = open(target_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (probe < 0) return false;
    struct stat st;
    if (fstat(probe, &st) == 0) mode_ = st.st_mode & 07777;
    close(probe);
    unlink(target_.c_str());
    exists_ = false;
    return true;
  }
  struct stat st;
  // A file without write permission is read-only to us even where the
  // system would let us write it (as root), as the read-only attribute is on Windows.
  if (flock(held_, LOCK_EX | LOCK_NB) != 0 || fstat(held_, &st) != 0 || !S_ISREG(st.st_mode) ||
      (st.st_mode & 0222) == 0) {
    Close();
    return false;
  }
  mode_ = st.st_mode & 07777;
  uid_ = st.st_uid;
  gid_ = st.st_gid;
  exists_ = true;
  return true;
}

void FileSaver::Close() {
  if (held_ >= 0) close(held_);
  held_ = -1;
}

void FileSaver::RemoveTemp() {
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
}

bool FileSaver::WriteTemp(const uint8_t* data, size_t size) {
  const std::string folder = FolderOf(target_);
  std::random_device random;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temp_ = folder + "/.tvd-" + std::to_string(random()) + ".tmp";
    fd = open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    temp_.clear();
    return false;
  }
  if (exists_ && fchown(fd, uid_, gid_) != 0) {
    // Only the owner or root may give a file away; a copy owned by us is
    // still the user's document.
  }
  const size_t allowed = Allowed(size);
  bool ok = fchmod(fd, mode_) == 0 && WriteAll(fd, data, allowed) && allowed == size &&
            fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  return ok;
}

bool FileSaver::Commit(const uint8_t* data, size_t size) {
  if (!WriteTemp(data, size)) return false;
  if (rename(temp_.c_str(), target_.c_str()) != 0) return false;
  temp_.clear();
  const int dir = open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  Close();
  return true;
}

#endif
