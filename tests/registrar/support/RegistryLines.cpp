#include "RegistryLines.h"

#include <algorithm>
#include <vector>

#include "Handles.h"

namespace {

std::string Utf8(const wchar_t* text, size_t length) {
  if (length == 0) return std::string();
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &out[0], n, nullptr, nullptr);
  return out;
}

void Collect(HKEY key, const std::string& path, std::vector<std::string>& lines) {
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];
    DWORD nameLength = 16384;
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS)
      break;
    std::vector<BYTE> data(bytes + 2, 0);
    nameLength = 16384;
    RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data.data(), &bytes);
    std::string line = path + "\\[" + Utf8(name, nameLength) + "]";
    if (type == REG_SZ) {
      const wchar_t* text = reinterpret_cast<const wchar_t*>(data.data());
      size_t length = bytes / sizeof(wchar_t);
      while (length > 0 && text[length - 1] == L'\0') --length;
      line += "=" + Utf8(text, length);
    } else {
      line += ":type " + std::to_string(type);
    }
    lines.push_back(line);
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256;
    if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    const std::string sub =
        path.empty() ? Utf8(name, nameLength) : path + "\\" + Utf8(name, nameLength);
    lines.push_back(sub);
    HKEY child = nullptr;
    if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) == ERROR_SUCCESS)
      Collect(UniqueKey(child).get(), sub, lines);
  }
}

}  // namespace

std::vector<std::string> RegistryLines(HKEY root, const std::wstring& path) {
  std::vector<std::string> lines;
  HKEY raw = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) return lines;
  const UniqueKey key(raw);
  Collect(key.get(), "", lines);
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::string> SubtreeLines(HKEY root, const std::wstring& path) {
  std::vector<std::string> lines;
  HKEY raw = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) return lines;
  const UniqueKey key(raw);
  const std::string prefix = Utf8(path.c_str(), path.size());
  lines.push_back(prefix);
  for (const std::string& line : RegistryLines(root, path))
    lines.push_back(prefix + (line[0] == '\\' ? "" : "\\") + line);
  return lines;
}
