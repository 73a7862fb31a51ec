#include "Wildcards.h"

#ifdef _WIN32

#include "Automation.h"
#include "Utf.h"

#include <windows.h>

#include <algorithm>
#include <memory>

namespace {

// FindClose, not CloseHandle, ends a search.
struct SearchCloser {
  void operator()(HANDLE h) const { FindClose(h); }
};

bool HasWildcard(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

// The names in the pattern's folder that match its last part.
std::vector<std::string> Matches(const std::string& pattern) {
  std::vector<std::string> names;
  WString wide;
  if (!Utf16FromUtf8(pattern, wide)) return names;
  WIN32_FIND_DATAW found;
  HANDLE first =
      FindFirstFileExW(wide.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (first == INVALID_HANDLE_VALUE) return names;
  const std::unique_ptr<void, SearchCloser> search(first);
  const std::string folder = pattern.substr(0, pattern.find_last_of("\\/:") + 1);
  do {
    const WString name(found.cFileName);
    if (name != L"." && name != L"..") names.push_back(folder + Utf8FromUtf16(name));
  } while (FindNextFileW(first, &found));
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

std::vector<std::string> Wildcards::Expand(const std::vector<std::string>& args) {
  std::vector<std::string> out;
  for (const std::string& arg : args) {
    // A wildcard in a folder's part is no pattern Windows tools take.
    const size_t last = arg.find_last_of("\\/:");
    const std::vector<std::string> names =
        HasWildcard(arg) && !HasWildcard(arg.substr(0, last == std::string::npos ? 0 : last))
            ? Matches(arg)
            : std::vector<std::string>();
    if (names.empty())
      out.push_back(arg);
    else
      out.insert(out.end(), names.begin(), names.end());
  }
  return out;
}

#else

std::vector<std::string> Wildcards::Expand(const std::vector<std::string>& args) { return args; }

#endif
