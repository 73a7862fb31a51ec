#include "SharedFile.h"

#include "LongPath.h"

using Step = FileFailure::Step;

bool SharedFile::Open(const OLECHAR* path) {
  if (!path || !*path) return Fail(Step::Open, ERROR_FILE_NOT_FOUND);
  const std::wstring name = LongPath(path);
  if (name.empty()) return Fail(Step::Open, GetLastError());
  m_file.reset(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!m_file) {
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
      return Fail(Step::Folder, error);
    return Fail(error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? Step::Locked
                                                                                  : Step::Open,
                error);
  }
  // Pipes, consoles and devices open too; only disk files are documents.
  if (GetFileType(m_file.get()) != FILE_TYPE_DISK) return Fail(Step::NotAFile, 0);
  // The standard information answers "a folder?" and "how large?" alone, at a
  // fraction of the cost of the full information (which also gathers times,
  // the volume serial number and the file index).
  FILE_STANDARD_INFO info;
  if (!GetFileInformationByHandleEx(m_file.get(), FileStandardInfo, &info, sizeof info))
    return Fail(Step::Open, GetLastError());
  if (info.Directory) return Fail(Step::Folder, 0);
  m_size = static_cast<uint64_t>(info.EndOfFile.QuadPart);
  if (m_size > kMaxSize) return Fail(Step::TooLarge, ERROR_FILE_TOO_LARGE);
  return true;
}

size_t SharedFile::Read(uint8_t* into, size_t n) {
  size_t at = 0;
  while (at < n) {
    const DWORD chunk = static_cast<DWORD>(n - at > 0x40000000 ? 0x40000000 : n - at);
    DWORD done = 0;
    if (!ReadFile(m_file.get(), into + at, chunk, &done, nullptr)) {
      m_failure = {Step::Read, GetLastError()};
      break;
    }
    if (done == 0) break;
    at += done;
  }
  return at;
}
