#include "SharedFile.h"

#include "Utf.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

using Step = FileFailure::Step;

// Writers are kept out by an advisory shared lock: programs that take locks
// (this library, the tool) cannot save the file meanwhile.
bool SharedFile::Open(const OLECHAR* path) {
  if (!path || !*path) return Fail(Step::Open, ENOENT);
  // Non-blocking, so that a FIFO cannot hold the open up forever; only
  // regular files are read.
  m_file.reset(open(FileNameFromUtf16(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!m_file) return Fail(errno == EISDIR ? Step::Folder : Step::Open, errno);
  if (flock(m_file.get(), LOCK_SH | LOCK_NB) != 0)
    return Fail(errno == EWOULDBLOCK ? Step::Locked : Step::Open, errno);
  struct stat st;
  if (fstat(m_file.get(), &st) != 0) return Fail(Step::Open, errno);
  if (S_ISDIR(st.st_mode)) return Fail(Step::Folder, EISDIR);
  if (!S_ISREG(st.st_mode)) return Fail(Step::NotAFile, 0);
  m_size = static_cast<uint64_t>(st.st_size);
  if (m_size > kMaxSize) return Fail(Step::TooLarge, EFBIG);
  return true;
}

size_t SharedFile::Read(uint8_t* into, size_t n) {
  size_t at = 0;
  while (at < n) {
    const ssize_t done = read(m_file.get(), into + at, n - at);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) m_failure = {Step::Read, static_cast<uint32_t>(errno)};
    if (done <= 0) break;
    at += static_cast<size_t>(done);
  }
  return at;
}
