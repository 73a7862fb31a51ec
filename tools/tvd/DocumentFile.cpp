#include "DocumentFile.h"

#include "FileMagic.h"
#include "SharedFile.h"

#include <cstring>

#ifdef _WIN32
#include <cstdlib>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

using Step = FileFailure::Step;

namespace {

// What is read first: the whole of a small file, and enough of any file to
// tell from its header whether the rest is worth reading.
constexpr size_t kFirstRead = 64 * 1024;

bool KnownMagic(const uint8_t* data, size_t size) {
  if (size < kMagicSize) return false;
  for (const char* magic : {kMagicNewest, kMagicFour, kMagicOldest})
    if (std::memcmp(data, magic, kMagicSize) == 0) return true;
  return false;
}

}  // namespace

DocStatus DocumentFile::Load(const NativePath& path, VirtualDocument& doc) {
  m_failure = {};
  if (!ReadFile(path)) return DocStatus::CannotOpen;
  const DocStatus status = doc.ReadBorrowed(m_data, m_size);
  if (status == DocStatus::CannotOpen) m_failure = doc.fileFailure();
  return status;
}

std::string DocumentFile::Generation() const {
  return KnownMagic(m_data, m_size) ? std::string(reinterpret_cast<const char*>(m_data), 29)
                                    : std::string();
}

// The header first: a file that is not a document keeps only that much, so
// a large one is told so without reading it. A file cut short meanwhile is
// read as far as it goes.
template <typename ReadFn>
void DocumentFile::ReadBody(const ReadFn& readInto, size_t size) {
  const size_t first = size < kFirstRead ? size : kFirstRead;
  m_size = readInto(m_data, first);
  const bool known = KnownMagic(m_data, m_size);
  if (known && m_size == first && size > first) m_size += readInto(m_data + first, size - first);
  if (!known && m_size > kMagicSize) m_size = kMagicSize;
}

bool DocumentFile::Fail(Step step, uint32_t error) {
  m_failure = {step, error};
  m_size = 0;
  return false;
}

#ifdef _WIN32

DocumentFile::~DocumentFile() { std::free(m_data); }

bool DocumentFile::Reserve(size_t size) {
  if (size <= m_capacity) return true;
  std::free(m_data);
  m_capacity = 0;
  m_data = static_cast<uint8_t*>(std::malloc(size));
  if (!m_data) return false;
  m_capacity = size;
  return true;
}

bool DocumentFile::ReadFile(const NativePath& path) {
  m_size = 0;
  SharedFile file;
  if (!file.Open(path.c_str())) return Fail(file.failure().step, file.failure().error);
  const size_t size = static_cast<size_t>(file.size());
  if (!Reserve(size < kFirstRead ? kFirstRead : size)) return Fail(Step::TooLarge, 0);
  ReadBody([&file](uint8_t* into, size_t n) { return file.Read(into, n); }, size);
  return true;
}

#else

DocumentFile::~DocumentFile() {
  if (m_data) munmap(m_data, m_capacity);
}

// The buffer is a private mapping whose pages are made at once
// (MAP_POPULATE): a fresh buffer filled page by page costs a fault per page,
// which for a large file takes longer than reading it. Reading into it,
// rather than mapping the file itself, means a file cut short by another
// program while it is read is only read short, never a crash (SIGBUS).
bool DocumentFile::Reserve(size_t size) {
  if (size <= m_capacity) return true;
  if (m_data) munmap(m_data, m_capacity);
  m_data = nullptr;
  m_capacity = 0;
  const size_t page = 64 * 1024;
  const size_t rounded = (size + page - 1) / page * page;
  void* at = mmap(nullptr, rounded, PROT_READ | PROT_WRITE,
                  MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (at == MAP_FAILED) return false;
  m_data = static_cast<uint8_t*>(at);
  m_capacity = rounded;
  return true;
}

bool DocumentFile::ReadFile(const NativePath& path) {
  m_size = 0;
  if (path.empty()) return Fail(Step::Open, ENOENT);
  // As the library opens documents: non-blocking, so that a FIFO cannot hold
  // the open up, a shared lock that keeps savers out meanwhile, and only
  // regular files.
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return Fail(errno == EISDIR ? Step::Folder : Step::Open, errno);
  if (flock(fd.get(), LOCK_SH | LOCK_NB) != 0)
    return Fail(errno == EWOULDBLOCK ? Step::Locked : Step::Open, errno);
  struct stat st;
  if (fstat(fd.get(), &st) != 0) return Fail(Step::Open, errno);
  if (S_ISDIR(st.st_mode)) return Fail(Step::Folder, EISDIR);
  if (!S_ISREG(st.st_mode)) return Fail(Step::NotAFile, 0);
  const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
  if (fileSize > SharedFile::kMaxSize) return Fail(Step::TooLarge, EFBIG);
  const size_t size = static_cast<size_t>(fileSize);
  if (!Reserve(size < kFirstRead ? kFirstRead : size)) return Fail(Step::TooLarge, 0);
  const int from = fd.get();
  ReadBody(
      [from](uint8_t* into, size_t n) {
        size_t at = 0;
        while (at < n) {
          const ssize_t done = read(from, into + at, n - at);
          if (done < 0 && errno == EINTR) continue;
          if (done <= 0) break;
          at += static_cast<size_t>(done);
        }
        return at;
      },
      size);
  return true;
}

#endif
