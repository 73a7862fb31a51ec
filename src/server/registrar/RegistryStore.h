// The registry as the registrar sees it: keys named by their path below one
// root (the classes root in the library), string values, and the deletions
// removal needs. Paths are UTF-16 with '\' between key names; the empty
// path is the root itself. Every operation returns a system error code: 0
// for success, 2 when the key or value is missing, anything else a failure.
// Implemented over the real registry in the library and in memory for the
// native tests and the fuzz target.
#pragma once

#include <cstdint>
#include <string>

constexpr uint32_t kRegSuccess = 0;
constexpr uint32_t kRegNotFound = 2;
constexpr uint32_t kRegAccessDenied = 5;

class RegistryStore {
 public:
  virtual ~RegistryStore() = default;

  // 0 when the key exists, 2 when it does not.
  virtual uint32_t CheckKey(const std::u16string& path) = 0;
  // Opens the key, creating it (and any missing key above it) when missing.
  virtual uint32_t CreateKey(const std::u16string& path) = 0;
  // Sets a REG_SZ value of an existing key; the empty name is the default value.
  virtual uint32_t SetString(const std::u16string& path, const std::u16string& name,
                             const std::u16string& data) = 0;
  virtual uint32_t DeleteValue(const std::u16string& path, const std::u16string& name) = 0;
  // Deletes the key with everything below it.
  virtual uint32_t DeleteTree(const std::u16string& path) = 0;
  // Deletes a key that has no subkeys, with its values; fails (5) when it
  // has subkeys.
  virtual uint32_t DeleteKey(const std::u16string& path) = 0;
  virtual uint32_t CountSubkeys(const std::u16string& path, uint32_t& count) = 0;
};
