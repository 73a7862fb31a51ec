#include "FileAccess.h"

#include "SystemError.h"
#include "ToolError.h"
#include "UniqueHandle.h"
#include "Utf.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#ifdef _WIN32

#include "LongPath.h"

namespace {

// The name every file call of the tool uses: the full path with the "\\?\"
// prefix, as the library opens documents, so that a path of 260 characters
// or more names the same file to the tool as to the library. A path the
// system cannot make full goes as it is, and fails there.
std::wstring SystemName(const WString& path) {
  std::wstring full = LongPath(path.c_str());
  return full.empty() ? std::wstring(path) : full;
}

std::string Reason(uint32_t error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_NAME: return "no such file";
    case ERROR_PATH_NOT_FOUND: return "no such folder";
    case ERROR_ACCESS_DENIED: return "permission denied";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return "in use by another program";
    default: return SystemErrorText(error);
  }
}

}  // namespace

std::string FileAccess::WhyCannotRead(const WString& path) {
  const std::wstring name = SystemName(path);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_PATH_NOT_FOUND ? "no such file" : Reason(error);
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "is a directory";
  UniqueFile file(
      CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return Reason(GetLastError());
  LARGE_INTEGER size;
  const bool tooLarge = GetFileSizeEx(file.get(), &size) && size.QuadPart >= 0x7FFFFFFF;
  return tooLarge ? "too large" : "cannot read it";
}

bool FileAccess::Exists(const WString& path) {
  return GetFileAttributesW(SystemName(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

FileAccess::OpenFile FileAccess::OpenForReading(const WString& path) {
  return OpenFile(_wfopen(SystemName(path).c_str(), L"rb"), &std::fclose);
}

#else

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

std::string Reason(uint32_t code) {
  const int error = static_cast<int>(code);
  switch (error) {
    case ENOENT:
    case ENOTDIR: return "no such file";
    case EACCES:
    case EPERM: return "permission denied";
    case EISDIR: return "is a directory";
    case EROFS: return "read-only file system";
    default: return SystemErrorText(code);
  }
}

}  // namespace

FileAccess::OpenFile FileAccess::OpenForReading(const WString& path) {
  return OpenFile(std::fopen(FileNameFromUtf16(path).c_str(), "rb"), &std::fclose);
}

std::string FileAccess::WhyCannotRead(const WString& path) {
  const std::string name = FileNameFromUtf16(path);
  struct stat st;
  if (stat(name.c_str(), &st) != 0) return Reason(errno);
  if (S_ISDIR(st.st_mode)) return "is a directory";
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  UniqueFd fd(open(name.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return Reason(errno);
  return flock(fd.get(), LOCK_SH | LOCK_NB) != 0 ? "in use by another program" : "cannot read it";
}

bool FileAccess::Exists(const WString& path) {
  struct stat st;
  return lstat(FileNameFromUtf16(path).c_str(), &st) == 0;
}

#endif

namespace {

bool MissingFolder(uint32_t error) {
#ifdef _WIN32
  return error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND;
#else
  return error == ENOENT || error == ENOTDIR;
#endif
}

std::string Why(const FileFailure& failure, bool saving) {
  using Step = FileFailure::Step;
  switch (failure.step) {
    case Step::Open:
      return saving && MissingFolder(failure.error) ? "no such folder" : Reason(failure.error);
    case Step::BrokenLink: return "a symbolic link to a missing file";
    case Step::Locked: return "in use by another program";
    case Step::Folder: return "is a directory";
    case Step::NotAFile: return "not a regular file";
    case Step::ReadOnly: return "read-only";
    case Step::TooLarge: return saving ? "not enough memory" : "too large";
    case Step::Read: return "cannot read it: " + Reason(failure.error);
    case Step::NoTextForm: return "a value has no text form";
    case Step::MakeTemp: return "cannot make a new file in its folder: " + Reason(failure.error);
    case Step::KeepPermissions:
      return "cannot give a new copy its owner, group and permissions: " + Reason(failure.error);
    case Step::Write: return "cannot write it: " + Reason(failure.error);
    case Step::Flush: return "cannot flush it to disk: " + Reason(failure.error);
    case Step::WiderAccess: return "a new copy would give someone more access than the file does";
    case Step::Replace: return "cannot replace it: " + Reason(failure.error);
    case Step::PermissionsLost:
      return "the new content is in place, but its permissions could not be kept (" +
             Reason(failure.error) + "): only an administrator may open it until they are set";
    case Step::None: break;
  }
  return saving ? "cannot replace it" : "cannot read it";
}

}  // namespace

std::string FileAccess::WhyCannotRead(const VirtualDocument& doc) {
  return Why(doc.fileFailure(), false);
}

std::string FileAccess::WhyCannotRead(const FileFailure& failure) { return Why(failure, false); }

std::string FileAccess::WhyCannotWrite(const VirtualDocument& doc) {
  return Why(doc.fileFailure(), true);
}

std::string FileAccess::WhyWriteFailed(const VirtualDocument& doc) {
  // "writing X failed" says the rest already.
  const FileFailure& failure = doc.fileFailure();
  return failure.step == FileFailure::Step::Write ? Reason(failure.error) : Why(failure, true);
}

WString FileAccess::PathFromArgument(const std::string& utf8) {
#ifdef _WIN32
  WString path;
  if (!Utf16FromUtf8(utf8, path))
    throw ToolError(ToolError::kUsage, "a file name is not valid text");
#else
  // A Linux name is bytes, which need not be UTF-8: every name converts.
  const WString path = Utf16FromFileName(utf8);
#endif
  if (path.empty()) throw ToolError(ToolError::kUsage, "a file name is empty");
  if (path.find(OLECHAR(0)) != WString::npos)
    throw ToolError(ToolError::kUsage, "a file name holds a zero character");
#ifdef _WIN32
  // The full path: the document remembers it, and replacing a file goes
  // wrong under Wine for a name relative to the current folder.
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD n = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
  if (n == 0 || n >= size) return path;
  full.resize(n);
  return full;
#else
  return path;
#endif
}

bool FileAccess::Read(const WString& path, size_t limit, std::string& bytes) {
  bytes.clear();
  const OpenFile file = OpenForReading(path);
  if (!file) return false;
  char buffer[65536];
  while (bytes.size() < limit) {
    const size_t want = std::min(sizeof buffer, limit - bytes.size());
    const size_t n = std::fread(buffer, 1, want, file.get());
    bytes.append(buffer, n);
    if (n < want) return !std::ferror(file.get());
  }
  return true;
}

bool FileAccess::ReadAll(std::FILE* in, size_t limit, std::string& bytes, bool& tooLarge) {
  bytes.clear();
  tooLarge = false;
  char buffer[65536];
  for (;;) {
    const size_t n = std::fread(buffer, 1, sizeof buffer, in);
    if (bytes.size() + n > limit) {
      tooLarge = true;
      return true;
    }
    bytes.append(buffer, n);
    if (n < sizeof buffer) return !std::ferror(in);
  }
}
