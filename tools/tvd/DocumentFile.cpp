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
#include <csignal>
#include <mutex>
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

std::string Magic(const uint8_t* data, size_t size) {
  return KnownMagic(data, size) ? std::string(reinterpret_cast<const char*>(data), kMagicSize - 1)
                                : std::string();
}

#ifndef _WIN32
// Up to n bytes from the descriptor's position; fewer when the file ends
// sooner or cannot be read further.
size_t ReadAll(int from, uint8_t* into, size_t n) {
  size_t at = 0;
  while (at < n) {
    const ssize_t done = read(from, into + at, n - at);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) break;
    at += static_cast<size_t>(done);
  }
  return at;
}
#endif

}  // namespace

DocStatus DocumentFile::Load(const NativePath& path, VirtualDocument& doc) {
  m_failure = {};
  m_generation.clear();
  Unmap();
  if (!ReadFile(path)) return DocStatus::CannotOpen;
  bool cutShort = false;
  DocStatus status = ReadDocument(doc, cutShort);
#ifndef _WIN32
  if (cutShort) {
    // The mapped file was cut short while it was read: it is read again,
    // as far as it now goes, the ordinary way.
    Unmap();
    struct stat st;
    const size_t size = fstat(m_open.get(), &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
    if (!Reserve(size < kFirstRead ? kFirstRead : size)) {
      m_open.reset();
      doc.ReadBorrowed(nullptr, 0);
      Fail(Step::TooLarge, 0);
      return DocStatus::CannotOpen;
    }
    const int from = m_open.get();
    ReadBody([from](uint8_t* into, size_t n) { return ReadAll(from, into, n); }, size);
    status = ReadDocument(doc, cutShort);
  }
#endif
  m_open.reset();
  if (status == DocStatus::CannotOpen) m_failure = doc.fileFailure();
  return status;
}

// The header first: a file that is not a document keeps only that much, so
// a large one is told so without reading it. A file cut short meanwhile is
// read as far as it goes.
template <typename ReadFn>
void DocumentFile::ReadBody(const ReadFn& readInto, size_t size) {
  const size_t first = size < kFirstRead ? size : kFirstRead;
  m_data = m_buffer;
  m_size = readInto(m_buffer, first);
  if (KnownMagic(m_buffer, m_size) && m_size == first && size > first)
    m_size += readInto(m_buffer + first, size - first);
}

DocStatus DocumentFile::Borrow(VirtualDocument& doc) {
  return m_use == Use::Keep ? doc.Read(m_data, m_size) : doc.ReadBorrowed(m_data, m_size);
}

std::string DocumentFile::GenerationOf(const uint8_t* data, size_t size) {
  return Magic(data, size);
}

bool DocumentFile::Fail(Step step, uint32_t error) {
  m_failure = {step, error};
  m_data = nullptr;
  m_size = 0;
  return false;
}

#ifdef _WIN32

DocumentFile::~DocumentFile() { std::free(m_buffer); }

void DocumentFile::Unmap() {}

bool DocumentFile::Reserve(size_t size) {
  if (size <= m_capacity) return true;
  std::free(m_buffer);
  m_capacity = 0;
  m_buffer = static_cast<uint8_t*>(std::malloc(size));
  if (!m_buffer) return false;
  m_capacity = size;
  return true;
}

DocStatus DocumentFile::ReadDocument(VirtualDocument& doc, bool& cutShort) {
  cutShort = false;
  if (!KnownMagic(m_data, m_size) && m_size > kMagicSize) m_size = kMagicSize;
  m_generation = Magic(m_data, m_size);
  return Borrow(doc);
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

namespace {

// Files at least this large are mapped for a count-only read: below it,
// mapping and unmapping cost more than the copy of a read.
constexpr size_t kMapFrom = 256 * 1024;

constexpr size_t kHugePage = 2 * 1024 * 1024;

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

size_t RoundUp(size_t size, size_t unit) { return (size + unit - 1) / unit * unit; }

// The mapping being read on this thread. Another program may cut a mapped
// file short while it is read; touching a page past its new end raises
// SIGBUS. The handler puts a page of zeros there and notes it, and the
// reader goes on to a result that is then thrown away.
struct MapGuard {
  const uint8_t* begin;
  const uint8_t* end;
  volatile sig_atomic_t cutShort;
};
thread_local MapGuard t_guard = {nullptr, nullptr, 0};
size_t g_pageSize = 4096;

void OnBusError(int, siginfo_t* info, void*) {
  uint8_t* at = static_cast<uint8_t*>(info->si_addr);
  if (at >= t_guard.begin && at < t_guard.end) {
    uint8_t* page = at - reinterpret_cast<uintptr_t>(at) % g_pageSize;
    if (mmap(page, g_pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
        MAP_FAILED) {
      t_guard.cutShort = 1;
      return;
    }
  }
  // Not a mapping of ours: the access is made again, and ends the process
  // as it would have without this handler.
  signal(SIGBUS, SIG_DFL);
}

void HandleBusErrors() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_pageSize = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    struct sigaction action = {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, nullptr);
  });
}

}  // namespace

DocumentFile::~DocumentFile() {
  Unmap();
  if (m_buffer) munmap(m_buffer, m_capacity);
}

void DocumentFile::Unmap() {
  if (m_mapped) munmap(m_mapped, m_mappedSize);
  m_mapped = nullptr;
  m_mappedSize = 0;
}

DocStatus DocumentFile::ReadDocument(VirtualDocument& doc, bool& cutShort) {
  t_guard = {m_mapped, m_mapped + m_mappedSize, 0};
  if (!KnownMagic(m_data, m_size) && m_size > kMagicSize) m_size = kMagicSize;
  m_generation = Magic(m_data, m_size);
  const DocStatus status = Borrow(doc);
  cutShort = t_guard.cutShort != 0;
  t_guard = {nullptr, nullptr, 0};
  return status;
}

// The buffer is a private anonymous mapping, backed by huge pages (2 MiB)
// where it is that large, and whose pages are all made at once. A fresh
// buffer filled page by page costs a fault per 4 KiB page, and on a virtual
// machine every miss of the TLB over 4 KiB pages costs dearly too: reading a
// 9 MB file into such a buffer and looking at it once took 40 ms, into huge
// pages 2.5 ms.
bool DocumentFile::Reserve(size_t size) {
  if (size <= m_capacity) return true;
  if (m_buffer) munmap(m_buffer, m_capacity);
  m_buffer = nullptr;
  m_capacity = 0;
  const size_t rounded = RoundUp(size, 64 * 1024);
  // Room to start on a huge page's boundary; the rest is given back.
  const size_t span = rounded >= kHugePage ? rounded + kHugePage : rounded;
  void* at = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (at == MAP_FAILED) return false;
  auto* begin = static_cast<uint8_t*>(at);
  if (span > rounded) {
    uint8_t* aligned =
        begin + (kHugePage - reinterpret_cast<uintptr_t>(begin) % kHugePage) % kHugePage;
    if (aligned > begin) munmap(begin, static_cast<size_t>(aligned - begin));
    const size_t after = static_cast<size_t>(begin + span - (aligned + rounded));
    if (after > 0) munmap(aligned + rounded, after);
    begin = aligned;
    madvise(begin, rounded, MADV_HUGEPAGE);  // a hint: 4 KiB pages where the system has none
  }
  // Memory that cannot be had now is refused now, not at a fault later.
  // Kernels before 5.14 know no MADV_POPULATE_WRITE: a write to each page
  // makes it there.
  if (madvise(begin, rounded, MADV_POPULATE_WRITE) != 0) {
    if (errno == ENOMEM) {
      munmap(begin, rounded);
      return false;
    }
    if (errno == EINVAL)
      for (size_t page = 0; page < rounded; page += 4096) begin[page] = 0;
  }
  m_buffer = begin;
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
  if (m_use == Use::CountOnly && size >= kMapFrom) {
    HandleBusErrors();
    // Writable but private: a decode may rewrite names in place, and those
    // pages alone are copied.
    void* at = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd.get(), 0);
    if (at != MAP_FAILED) {
      m_mapped = static_cast<uint8_t*>(at);
      m_mappedSize = size;
      m_data = m_mapped;
      m_size = size;
      m_open = std::move(fd);  // for a second read, should the file be cut short
      return true;
    }
  }
  if (!Reserve(size < kFirstRead ? kFirstRead : size)) return Fail(Step::TooLarge, 0);
  const int from = fd.get();
  ReadBody([from](uint8_t* into, size_t n) { return ReadAll(from, into, n); }, size);
  return true;
}

#endif
