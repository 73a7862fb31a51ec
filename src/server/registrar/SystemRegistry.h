// The registrar's registry on Windows: the keys below one root key (the
// classes root for the library; a scratch key for tests), through the Reg*
// functions. Each operation opens what it needs and closes it before it
// returns.
#pragma once

#include "RegistryStore.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

class SystemRegistry : public RegistryStore {
 public:
  // root is borrowed (a predefined key such as HKEY_CLASSES_ROOT); base is
  // the path below it that the store's paths start from (empty for root).
  SystemRegistry(HKEY root, std::wstring base) : m_root(root), m_base(std::move(base)) {}

  uint32_t CheckKey(const std::u16string& path) override;
  uint32_t CreateKey(const std::u16string& path) override;
  uint32_t SetString(const std::u16string& path, const std::u16string& name,
                     const std::u16string& data) override;
  uint32_t DeleteValue(const std::u16string& path, const std::u16string& name) override;
  uint32_t DeleteTree(const std::u16string& path) override;
  uint32_t DeleteKey(const std::u16string& path) override;
  uint32_t CountSubkeys(const std::u16string& path, uint32_t& count) override;
  uint32_t GetValue(const std::u16string& path, const std::u16string& name,
                    RegValue& value) override;
  uint32_t SetValue(const std::u16string& path, const std::u16string& name,
                    const RegValue& value) override;
  uint32_t ListKey(const std::u16string& path, std::vector<std::u16string>& subkeys,
                   std::vector<std::u16string>& values) override;

 private:
  std::wstring Full(const std::u16string& path) const;

  HKEY m_root;  // borrowed: a predefined key
  std::wstring m_base;
};
