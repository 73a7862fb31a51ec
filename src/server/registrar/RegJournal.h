// What a registration changed, so that a registration that fails part-way
// puts back exactly what was there before: each write is recorded just
// before it is made (the keys it will create, the value it will replace, the
// tree it will delete) and undone, newest first, by Undo. A registration that
// failed thus never takes away an earlier registration, ours or another
// copy's, as removing by the script would.
#pragma once

#include "RegistryStore.h"

#include <string>
#include <vector>

class RegJournal {
 public:
  explicit RegJournal(RegistryStore& store) : m_store(store) {}

  // Each records what the write it names will change; a store error when
  // that cannot be read (the write must then not be made).
  uint32_t BeforeCreateKey(const std::u16string& path);
  uint32_t BeforeSetValue(const std::u16string& path, const std::u16string& name);
  uint32_t BeforeDeleteTree(const std::u16string& path);

  // Undoes every recorded write, newest first, going on past a failure.
  void Undo();

 private:
  struct Tree {
    std::u16string name;
    std::vector<std::pair<std::u16string, RegValue>> values;
    std::vector<Tree> subkeys;
  };
  struct Entry {
    enum class Kind { Created, Value, Deleted } kind;
    std::u16string path;
    std::u16string name;   // Value: the value's name
    bool existed = false;  // Value: whether it was there
    RegValue old;          // Value: what it was
    Tree tree;             // Deleted: what was there
  };

  uint32_t Read(const std::u16string& path, Tree& tree);
  void Write(const std::u16string& path, const Tree& tree);

  RegistryStore& m_store;  // borrowed
  std::vector<Entry> m_entries;
};
