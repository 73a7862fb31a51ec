#include "TreeWalk.h"

#include "Utf.h"

#include <algorithm>
#include <utility>

#ifdef _WIN32
#include "UniqueHandle.h"
#include "LongPath.h"
#include "SystemError.h"
#else
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#endif

namespace {

enum Kind { kUnknown, kFile, kFolder, kLink, kOther };

const char kNotAFolder[] = "is a directory; -r takes the .tvd files in it";

template <typename Char>
bool IsDocumentName(const std::basic_string<Char>& name) {
  static const char kSuffix[] = ".tvd";
  if (name.size() < 4) return false;
  for (size_t i = 0; i < 4; ++i) {
    const Char c = name[name.size() - 4 + i];
    const Char lower = c >= 'A' && c <= 'Z' ? static_cast<Char>(c - 'A' + 'a') : c;
    if (lower != static_cast<Char>(kSuffix[i])) return false;
  }
  return true;
}

}  // namespace

TreeWalk::TreeWalk(std::vector<std::string> args, bool recursive, bool follow)
    : m_args(std::move(args)), m_recursive(recursive), m_follow(follow) {}

TreeWalk::~TreeWalk() = default;

bool TreeWalk::Enter(const NativePath& path, const std::string& shown, Entry& entry) {
  Folder folder;
  folder.path = path;
  folder.shown = shown;
  std::string problem;
  if (List(path, folder, problem)) {
    for (const Folder& above : m_stack)
      if (folder.id != 0 && above.device == folder.device && above.id == folder.id)
        problem = "a link back to a folder above it";
    if (problem.empty()) {
      m_stack.push_back(std::move(folder));
      return false;
    }
  }
  entry = {path, shown, problem, false};
  return true;
}

bool TreeWalk::Next(Entry& entry) {
  for (;;) {
    if (!m_stack.empty()) {
      Folder& top = m_stack.back();
      if (top.next == top.items.size()) {
        m_stack.pop_back();
        continue;
      }
      const Item item = top.items[top.next++];
      if (Visit(top, item, entry)) return true;
      continue;
    }
    if (m_nextArg == m_args.size()) return false;
    const std::string& arg = m_args[m_nextArg++];
    NativePath path;
#ifdef _WIN32
    WString wide;
    if (Utf16FromUtf8(arg, wide) && wide.find(OLECHAR(0)) == WString::npos)
      path = LongPath(wide.c_str());
    const DWORD attributes =
        path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.c_str());
    const bool isFolder =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
#else
    path = arg;
    struct stat st;
    const bool isFolder = !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
#endif
    if (path.empty()) {
      entry = {path, arg, "not a file name", false};
      return true;
    }
    if (!isFolder) {
      entry = {path, arg, "", false};
      return true;
    }
    if (!m_recursive) {
      entry = {path, arg, kNotAFolder, true};
      return true;
    }
    if (Enter(path, arg, entry)) return true;
  }
}

#ifdef _WIN32

const char TreeWalk::kSeparator = '\\';

bool TreeWalk::List(const NativePath& path, Folder& folder, std::string& problem) const {
  // Only a walk that follows links can come back to a folder above; telling
  // folders apart takes an open of each, which the others are spared.
  if (m_follow) {
    const UniqueFile opened(CreateFileW(
        path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (opened && GetFileInformationByHandle(opened.get(), &info)) {
      folder.device = info.dwVolumeSerialNumber;
      folder.id = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    }
  }
  WIN32_FIND_DATAW found;
  const std::wstring pattern =
      path + (path.empty() || path.back() == L'\\' || path.back() == L'/' ? L"*" : L"\\*");
  HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return true;  // an empty folder
    problem = "cannot read the folder (" + SystemErrorText(error) + ")";
    return false;
  }
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const DWORD a = found.dwFileAttributes;
    const int kind = (a & FILE_ATTRIBUTE_REPARSE_POINT) ? kLink
                     : (a & FILE_ATTRIBUTE_DIRECTORY)   ? kFolder
                                                        : kFile;
    folder.items.push_back({name, kind});
  } while (FindNextFileW(search, &found));
  const DWORD error = GetLastError();
  FindClose(search);
  if (error != ERROR_NO_MORE_FILES) {
    problem = "cannot read the folder (" + SystemErrorText(error) + ")";
    return false;
  }
  std::sort(folder.items.begin(), folder.items.end(),
            [](const Item& a, const Item& b) { return a.name < b.name; });
  return true;
}

bool TreeWalk::Visit(const Folder& parent, const Item& item, Entry& entry) {
  const bool endsInSeparator = parent.path.back() == L'\\' || parent.path.back() == L'/';
  NativePath path = parent.path + (endsInSeparator ? L"" : L"\\") + item.name;
  std::string shown = parent.shown;
  if (shown.empty() || (shown.back() != '\\' && shown.back() != '/')) shown += kSeparator;
  shown += Utf8FromUtf16(WString(item.name.begin(), item.name.end()));
  int kind = item.kind;
  if (kind == kLink) {
    if (!m_follow) return false;
    const DWORD a = GetFileAttributesW(path.c_str());
    kind = a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) ? kFolder : kFile;
  }
  if (kind == kFolder) return Enter(path, shown, entry);
  if (!IsDocumentName(item.name)) return false;
  entry = {std::move(path), std::move(shown), "", false};
  return true;
}

#else

const char TreeWalk::kSeparator = '/';

bool TreeWalk::List(const NativePath& path, Folder& folder, std::string& problem) const {
  DIR* dir = opendir(path.c_str());
  if (!dir) {
    problem = std::string("cannot read the folder (") + std::strerror(errno) + ")";
    return false;
  }
  struct stat st;
  if (fstat(dirfd(dir), &st) == 0) {
    folder.device = static_cast<uint64_t>(st.st_dev);
    folder.id = static_cast<uint64_t>(st.st_ino);
  }
  for (;;) {
    errno = 0;
    const dirent* d = readdir(dir);
    if (!d) break;
    if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
    const int kind = d->d_type == DT_REG ? kFile
                     : d->d_type == DT_DIR ? kFolder
                     : d->d_type == DT_LNK ? kLink
                     : d->d_type == DT_UNKNOWN ? kUnknown
                                               : kOther;
    folder.items.push_back({d->d_name, kind});
  }
  const int error = errno;
  closedir(dir);
  if (error != 0) {
    problem = std::string("cannot read the folder (") + std::strerror(error) + ")";
    return false;
  }
  std::sort(folder.items.begin(), folder.items.end(),
            [](const Item& a, const Item& b) { return a.name < b.name; });
  return true;
}

bool TreeWalk::Visit(const Folder& parent, const Item& item, Entry& entry) {
  const bool endsInSeparator = !parent.path.empty() && parent.path.back() == '/';
  NativePath path = parent.path + (endsInSeparator ? "" : "/") + item.name;
  std::string shown =
      parent.shown + (!parent.shown.empty() && parent.shown.back() == '/' ? "" : "/") + item.name;
  int kind = item.kind;
  struct stat st;
  if (kind == kUnknown)
    kind = lstat(path.c_str(), &st) != 0 ? kOther
           : S_ISLNK(st.st_mode) ? kLink
           : S_ISDIR(st.st_mode) ? kFolder
                                 : kFile;
  if (kind == kLink) {
    if (!m_follow) return false;
    kind = stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? kFolder : kFile;
  }
  if (kind == kFolder) return Enter(path, shown, entry);
  if (!IsDocumentName(item.name)) return false;
  entry = {std::move(path), std::move(shown), "", false};
  return true;
}

#endif
