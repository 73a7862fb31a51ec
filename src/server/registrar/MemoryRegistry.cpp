#include "MemoryRegistry.h"

#include "Utf.h"

#include <algorithm>

namespace {

std::u16string Fold(const std::u16string& name) {
  std::u16string folded = name;
  for (char16_t& c : folded)
    if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
  return folded;
}

std::vector<std::u16string> Split(const std::u16string& path) {
  std::vector<std::u16string> parts;
  size_t start = 0;
  while (start <= path.size() && !path.empty()) {
    const size_t slash = path.find(u'\\', start);
    const size_t end = slash == std::u16string::npos ? path.size() : slash;
    parts.push_back(path.substr(start, end - start));
    if (slash == std::u16string::npos) break;
    start = slash + 1;
  }
  return parts;
}

std::string Utf8(const std::u16string& text) {
  return Utf8FromUtf16(WString(text.begin(), text.end()));
}

}  // namespace

MemoryRegistry::MemoryRegistry() : m_root(std::make_unique<Key>()) {}

MemoryRegistry::~MemoryRegistry() = default;

MemoryRegistry::Key* MemoryRegistry::Find(const std::u16string& path, bool parent,
                                          std::u16string* last) {
  std::vector<std::u16string> parts = Split(path);
  if (parent) {
    if (parts.empty()) return nullptr;
    if (last) *last = parts.back();
    parts.pop_back();
  }
  Key* key = m_root.get();
  for (const std::u16string& part : parts) {
    auto it = key->subkeys.find(Fold(part));
    if (it == key->subkeys.end()) return nullptr;
    key = it->second.get();
  }
  return key;
}

uint32_t MemoryRegistry::CheckKey(const std::u16string& path) {
  return Find(path) ? kRegSuccess : kRegNotFound;
}

uint32_t MemoryRegistry::CreateKey(const std::u16string& path) {
  Key* key = m_root.get();
  for (const std::u16string& part : Split(path)) {
    std::unique_ptr<Key>& sub = key->subkeys[Fold(part)];
    if (!sub) {
      sub = std::make_unique<Key>();
      sub->name = part;
    }
    key = sub.get();
  }
  return kRegSuccess;
}

uint32_t MemoryRegistry::SetString(const std::u16string& path, const std::u16string& name,
                                   const std::u16string& data) {
  Key* key = Find(path);
  if (!key) return kRegNotFound;
  auto& value = key->values[Fold(name)];
  if (value.first.empty()) value.first = name;
  value.second = data;
  return kRegSuccess;
}

uint32_t MemoryRegistry::DeleteValue(const std::u16string& path, const std::u16string& name) {
  Key* key = Find(path);
  if (!key) return kRegNotFound;
  return key->values.erase(Fold(name)) ? kRegSuccess : kRegNotFound;
}

uint32_t MemoryRegistry::DeleteTree(const std::u16string& path) {
  std::u16string last;
  Key* parent = Find(path, true, &last);
  if (!parent) return kRegNotFound;
  return parent->subkeys.erase(Fold(last)) ? kRegSuccess : kRegNotFound;
}

uint32_t MemoryRegistry::DeleteKey(const std::u16string& path) {
  std::u16string last;
  Key* parent = Find(path, true, &last);
  if (!parent) return kRegNotFound;
  auto it = parent->subkeys.find(Fold(last));
  if (it == parent->subkeys.end()) return kRegNotFound;
  if (!it->second->subkeys.empty()) return kRegAccessDenied;
  parent->subkeys.erase(it);
  return kRegSuccess;
}

uint32_t MemoryRegistry::CountSubkeys(const std::u16string& path, uint32_t& count) {
  Key* key = Find(path);
  if (!key) return kRegNotFound;
  count = static_cast<uint32_t>(key->subkeys.size());
  return kRegSuccess;
}

uint32_t MemoryRegistry::GetValue(const std::u16string& path, const std::u16string& name,
                                  RegValue& value) {
  Key* key = Find(path);
  if (!key) return kRegNotFound;
  auto it = key->values.find(Fold(name));
  if (it == key->values.end()) return kRegNotFound;
  const std::u16string& data = it->second.second;
  value.type = kRegSz;
  value.bytes.clear();
  for (char16_t c : data + u'\0') {
    value.bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    value.bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return kRegSuccess;
}

uint32_t MemoryRegistry::SetValue(const std::u16string& path, const std::u16string& name,
                                  const RegValue& value) {
  if (value.type != kRegSz || value.bytes.size() % 2 != 0) return kRegAccessDenied;
  std::u16string data;
  for (size_t i = 0; i + 1 < value.bytes.size(); i += 2)
    data += static_cast<char16_t>(value.bytes[i] | value.bytes[i + 1] << 8);
  if (!data.empty() && data.back() == u'\0') data.pop_back();
  return SetString(path, name, data);
}

uint32_t MemoryRegistry::ListKey(const std::u16string& path, std::vector<std::u16string>& subkeys,
                                 std::vector<std::u16string>& values) {
  Key* key = Find(path);
  if (!key) return kRegNotFound;
  subkeys.clear();
  values.clear();
  for (const auto& sub : key->subkeys) subkeys.push_back(sub.second->name);
  for (const auto& value : key->values) values.push_back(value.second.first);
  return kRegSuccess;
}

void MemoryRegistry::Collect(const Key& key, const std::string& path,
                             std::vector<std::string>& lines) {
  for (const auto& value : key.values)
    lines.push_back(path + "\\[" + Utf8(value.second.first) + "]=" + Utf8(value.second.second));
  for (const auto& sub : key.subkeys) {
    const std::string subPath =
        path.empty() ? Utf8(sub.second->name) : path + "\\" + Utf8(sub.second->name);
    lines.push_back(subPath);
    Collect(*sub.second, subPath, lines);
  }
}

std::vector<std::string> MemoryRegistry::Lines() const {
  std::vector<std::string> lines;
  Collect(*m_root, "", lines);
  std::sort(lines.begin(), lines.end());
  return lines;
}
