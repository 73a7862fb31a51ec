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
#include <vector>

constexpr uint32_t kRegSuccess = 0;
constexpr uint32_t kRegNotFound = 2;
constexpr uint32_t kRegAccessDenied = 5;
constexpr uint32_t kRegSz = 1;  // the type of a string value

// A value as the registry holds it: its type and its bytes (a string's
// UTF-16LE units with the terminating zero).
struct RegValue {
  uint32_t type = 0;
  std::vector<uint8_t> bytes;
};

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

  // What a failed registration needs to put back what it changed.
  virtual uint32_t GetValue(const std::u16string& path, const std::u16string& name,
                            RegValue& value) = 0;
  // Sets a value of an existing key exactly (type and bytes).
  virtual uint32_t SetValue(const std::u16string& path, const std::u16string& name,
                            const RegValue& value) = 0;
  // The names of the key's subkeys and of its values.
  virtual uint32_t ListKey(const std::u16string& path, std::vector<std::u16string>& subkeys,
                           std::vector<std::u16string>& values) = 0;
};
