// A registry in memory, for the registrar's native tests and its fuzz
// target: keys and REG_SZ values whose names compare without regard to the
// case of A to Z, as the system's registry compares them (it folds other
// letters too; our scripts name nothing but ASCII).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "RegistryStore.h"

class MemoryRegistry : public RegistryStore {
 public:
  MemoryRegistry();
  ~MemoryRegistry() override;

  uint32_t CheckKey(const std::u16string& path) override;
  uint32_t CreateKey(const std::u16string& path) override;
  uint32_t SetString(const std::u16string& path, const std::u16string& name,
                     const std::u16string& data) override;
  uint32_t DeleteValue(const std::u16string& path, const std::u16string& name) override;
  uint32_t DeleteTree(const std::u16string& path) override;
  uint32_t DeleteKey(const std::u16string& path) override;
  uint32_t CountSubkeys(const std::u16string& path, uint32_t& count) override;
  // Holds strings only: GetValue gives kRegSz, SetValue takes nothing else.
  uint32_t GetValue(const std::u16string& path, const std::u16string& name,
                    RegValue& value) override;
  uint32_t SetValue(const std::u16string& path, const std::u16string& name,
                    const RegValue& value) override;
  uint32_t ListKey(const std::u16string& path, std::vector<std::u16string>& subkeys,
                   std::vector<std::u16string>& values) override;

  // Every key and value, one per line, sorted: "path" for a key and
  // "path\[name]=data" for a value ("[]" for the default value), in UTF-8.
  std::vector<std::string> Lines() const;

 private:
  struct Key {
    std::u16string name;  // as first created
    std::map<std::u16string, std::pair<std::u16string, std::u16string>>
        values;                                              // folded name -> name, data
    std::map<std::u16string, std::unique_ptr<Key>> subkeys;  // by folded name
  };

  // The key at path, or null; with parent set, the key that holds it instead.
  Key* Find(const std::u16string& path, bool parent = false, std::u16string* last = nullptr);
  static void Collect(const Key& key, const std::string& path, std::vector<std::string>& lines);

  std::unique_ptr<Key> m_root;  // owned: the whole tree
};
