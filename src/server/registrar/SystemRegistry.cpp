#include "SystemRegistry.h"

#include "Handles.h"

namespace {

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

}  // namespace

std::wstring SystemRegistry::Full(const std::u16string& path) const {
  const std::wstring wide(Wide(path), path.size());
  if (m_base.empty()) return wide;
  return wide.empty() ? m_base : m_base + L'\\' + wide;
}

uint32_t SystemRegistry::CheckKey(const std::u16string& path) {
  HKEY raw = nullptr;
  const LONG error = RegOpenKeyExW(m_root, Full(path).c_str(), 0, KEY_QUERY_VALUE, &raw);
  UniqueKey key(error == ERROR_SUCCESS ? raw : nullptr);
  return static_cast<uint32_t>(error);
}

uint32_t SystemRegistry::CreateKey(const std::u16string& path) {
  HKEY raw = nullptr;
  const LONG error = RegCreateKeyExW(m_root, Full(path).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                     nullptr, &raw, nullptr);
  UniqueKey key(error == ERROR_SUCCESS ? raw : nullptr);
  return static_cast<uint32_t>(error);
}

uint32_t SystemRegistry::SetString(const std::u16string& path, const std::u16string& name,
                                   const std::u16string& data) {
  HKEY raw = nullptr;
  LONG error = RegOpenKeyExW(m_root, Full(path).c_str(), 0, KEY_SET_VALUE, &raw);
  if (error != ERROR_SUCCESS) return static_cast<uint32_t>(error);
  UniqueKey key(raw);
  const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
  error = RegSetValueExW(key.get(), name.empty() ? nullptr : Wide(name), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(data.c_str()), bytes);
  return static_cast<uint32_t>(error);
}

uint32_t SystemRegistry::DeleteValue(const std::u16string& path, const std::u16string& name) {
  HKEY raw = nullptr;
  LONG error = RegOpenKeyExW(m_root, Full(path).c_str(), 0, KEY_SET_VALUE, &raw);
  if (error != ERROR_SUCCESS) return static_cast<uint32_t>(error);
  UniqueKey key(raw);
  return static_cast<uint32_t>(RegDeleteValueW(key.get(), Wide(name)));
}

uint32_t SystemRegistry::DeleteTree(const std::u16string& path) {
  // RegDeleteTreeW with a subkey name deletes that key itself too.
  if (path.empty()) return kRegAccessDenied;
  return static_cast<uint32_t>(RegDeleteTreeW(m_root, Full(path).c_str()));
}

uint32_t SystemRegistry::DeleteKey(const std::u16string& path) {
  if (path.empty()) return kRegAccessDenied;
  return static_cast<uint32_t>(RegDeleteKeyW(m_root, Full(path).c_str()));
}

uint32_t SystemRegistry::CountSubkeys(const std::u16string& path, uint32_t& count) {
  HKEY raw = nullptr;
  LONG error = RegOpenKeyExW(m_root, Full(path).c_str(), 0, KEY_QUERY_VALUE, &raw);
  if (error != ERROR_SUCCESS) return static_cast<uint32_t>(error);
  UniqueKey key(raw);
  DWORD subkeys = 0;
  error = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                           nullptr, nullptr, nullptr, nullptr, nullptr);
  count = subkeys;
  return static_cast<uint32_t>(error);
}

uint32_t SystemRegistry::GetValue(const std::u16string& path, const std::u16string& name,
                                  RegValue& value) {
  HKEY raw = nullptr;
  LONG error = RegOpenKeyExW(m_root, Full(path).c_str(), 0, KEY_QUERY_VALUE, &raw);
  if (error != ERROR_SUCCESS) return static_cast<uint32_t>(error);
  UniqueKey key(raw);
  const wchar_t* valueName = name.empty() ? nullptr : Wide(name);
  DWORD type = 0, size = 0;
  error = RegQueryValueExW(key.get(), valueName, nullptr, &type, nullptr, &size);
  if (error != ERROR_SUCCESS) return static_cast<uint32_t>(error);
  value.bytes.resize(size);
  error = RegQueryValueExW(key.get(), valueName, nullptr, &type, value.bytes.data(), &size);
  if (error != ERROR_SUCCESS) return static_cast<uint32_t>(error);
  value.type = type;
  value.bytes.resize(size);
  return kRegSuccess;
}

uint32_t SystemRegistry::SetValue(const std::u16string& path, const std::u16string& name,
                                  const RegValue& value) {
  HKEY raw = nullptr;
  LONG error = RegOpenKeyExW(m_root, Full(path).c_str(), 0, KEY_SET_VALUE, &raw);
  if (error != ERROR_SUCCESS) return static_cast<uint32_t>(error);
  UniqueKey key(raw);
  error = RegSetValueExW(key.get(), name.empty() ? nullptr : Wide(name), 0, value.type,
                         value.bytes.data(), static_cast<DWORD>(value.bytes.size()));
  return static_cast<uint32_t>(error);
}

uint32_t SystemRegistry::ListKey(const std::u16string& path, std::vector<std::u16string>& subkeys,
                                 std::vector<std::u16string>& values) {
  HKEY raw = nullptr;
  LONG error =
      RegOpenKeyExW(m_root, Full(path).c_str(), 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, &raw);
  if (error != ERROR_SUCCESS) return static_cast<uint32_t>(error);
  UniqueKey key(raw);
  subkeys.clear();
  values.clear();
  wchar_t name[16384];  // the longest key or value name there is, with its zero
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name / sizeof name[0];
    error = RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (error == ERROR_NO_MORE_ITEMS) break;
    if (error != ERROR_SUCCESS) return static_cast<uint32_t>(error);
    subkeys.emplace_back(reinterpret_cast<const char16_t*>(name), length);
  }
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name / sizeof name[0];
    error = RegEnumValueW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (error == ERROR_NO_MORE_ITEMS) break;
    if (error != ERROR_SUCCESS) return static_cast<uint32_t>(error);
    values.emplace_back(reinterpret_cast<const char16_t*>(name), length);
  }
  return kRegSuccess;
}
