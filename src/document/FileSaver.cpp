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

FileSaver::~FileSaver() { Release(); }

bool FileSaver::Commit(const uint8_t* data, size_t size) {
  return !temp_.empty() && WriteTemp(data, size) && Replace();
}

#ifdef _WIN32

namespace {

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return L".";
  if (slash == 0 || (slash == 2 && path[1] == L':')) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

bool FullPath(const wchar_t* path, std::wstring& out) {
  const DWORD needed = GetFullPathNameW(path, 0, nullptr, nullptr);
  if (needed == 0) return false;
  out.resize(needed);
  const DWORD length = GetFullPathNameW(path, needed, &out[0], nullptr);
  if (length == 0 || length >= needed) return false;
  out.resize(length);
  return true;
}

// Virus scanners and indexers open fresh files for a moment.
bool Busy(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED; }

}  // namespace

bool FileSaver::Open(const OLECHAR* path) {
  // The full path: the temporary file goes beside the target, and Wine's
  // replace fails on relative names.
  if (!path || !*path || !FullPath(path, target_)) return false;
  // Checked here as well as by the open, which does not refuse an
  // administrator everywhere.
  attributes_ = GetFileAttributesW(target_.c_str());
  if (attributes_ != INVALID_FILE_ATTRIBUTES &&
      (attributes_ & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
    return false;
  // Share mode 0: nobody else may open the file until the saver is done.
  held_ = CreateFileW(target_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  exists_ = held_ != INVALID_HANDLE_VALUE;
  if (!exists_) {
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    // A new file: prove that the name can be created, then leave it free.
    HANDLE probe = CreateFileW(target_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return false;
    CloseHandle(probe);
  }
  return MakeTemp();
}

bool FileSaver::MakeTemp() {
  wchar_t name[MAX_PATH + 1];
  if (!GetTempFileNameW(FolderOf(target_).c_str(), L"tvd", 0, name)) return false;
  temp_ = name;
  return true;
}

bool FileSaver::WriteTemp(const uint8_t* data, size_t size) {
  HANDLE h = CreateFileW(temp_.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr);
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

bool FileSaver::Replace() {
  // The exclusive handle must go before the file can be replaced.
  CloseHandle(held_);
  held_ = INVALID_HANDLE_VALUE;
  for (int attempt = 0;; ++attempt) {
    const bool ok = exists_ ? ReplaceFileW(target_.c_str(), temp_.c_str(), nullptr,
                                           REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0
                            : MoveFileExW(temp_.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
    if (ok) break;
    const DWORD error = GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
      // The old file is gone and the new content exists only in the
      // temporary file: move it into place, and keep it if even that fails.
      if (!MoveFileExW(temp_.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH)) {
        temp_.clear();
        return false;
      }
      break;
    }
    if (!Busy(error) || attempt == 4) return false;
    Sleep(20);
  }
  temp_.clear();
  // The replacement keeps the security descriptor; say the attributes again
  // for systems whose replace does not carry them over.
  if (exists_ && GetFileAttributesW(target_.c_str()) != attributes_)
    SetFileAttributesW(target_.c_str(), attributes_);
  return true;
}

void FileSaver::Release() {
  if (held_ != INVALID_HANDLE_VALUE) CloseHandle(held_);
  held_ = INVALID_HANDLE_VALUE;
  if (!temp_.empty()) DeleteFileW(temp_.c_str());
  temp_.clear();
}

#else

#include "Utf.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

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

// Moves from onto to unless to exists (someone made the file meanwhile).
bool RenameNoReplace(const char* from, const char* to) {
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without it: a hard link fails on an existing name too.
  return link(from, to) == 0 && unlink(from) == 0;
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
  // Non-blocking, so that a FIFO cannot hold the open up forever.
  held_ = open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  exists_ = held_ >= 0;
  if (!exists_) return errno == ENOENT && MakeTemp();
  struct stat st;
  // A file without write permission is read-only to us even where the
  // system would let us write it (as root), as the read-only attribute is on Windows.
  if (flock(held_, LOCK_EX | LOCK_NB) != 0 || fstat(held_, &st) != 0 || !S_ISREG(st.st_mode) ||
      (st.st_mode & 0222) == 0)
    return false;
  mode_ = st.st_mode & 07777;
  uid_ = st.st_uid;
  gid_ = st.st_gid;
  return MakeTemp();
}

bool FileSaver::MakeTemp() {
  const std::string folder = FolderOf(target_);
  std::random_device random;
  for (int attempt = 0; tempFile_ < 0 && attempt < 100; ++attempt) {
    temp_ = folder + "/.tvd-" + std::to_string(random()) + ".tmp";
    tempFile_ = open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (tempFile_ < 0 && errno != EEXIST) break;
  }
  if (tempFile_ < 0) {
    temp_.clear();
    return false;
  }
  if (!exists_) return true;  // a new file: the umask decides, as for any new file
  // The copy takes the file's place, so it must give the same people the
  // same access. Only root may give it away to the file's owner; the group
  // can be kept by any of its members, and must be, or the save is refused.
  struct stat made;
  if (fchown(tempFile_, uid_, gid_) != 0 && fchown(tempFile_, static_cast<uid_t>(-1), gid_) != 0)
    return false;
  return fchmod(tempFile_, mode_) == 0 && fstat(tempFile_, &made) == 0 && made.st_gid == gid_;
}

bool FileSaver::WriteTemp(const uint8_t* data, size_t size) {
  const size_t allowed = Allowed(size);
  bool ok = WriteAll(tempFile_, data, allowed) && allowed == size && fsync(tempFile_) == 0;
  if (close(tempFile_) != 0) ok = false;
  tempFile_ = -1;
  return ok;
}

bool FileSaver::Replace() {
  const bool ok = exists_ ? rename(temp_.c_str(), target_.c_str()) == 0
                          : RenameNoReplace(temp_.c_str(), target_.c_str());
  if (!ok) return false;
  temp_.clear();
  const int dir = open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

void FileSaver::Release() {
  if (tempFile_ >= 0) close(tempFile_);
  tempFile_ = -1;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
  if (held_ >= 0) close(held_);  // and with it the lock
  held_ = -1;
}

#endif
