// A registry that passes every call to another one but makes one chosen
// write fail (access denied), and counts the writes it saw: creating a key,
// setting a value, and the three deletions.
#pragma once

#include "RegistryStore.h"

class FaultyStore : public RegistryStore {
 public:
  // failAt: the index (from 0) of the write that fails; -1 for none.
  FaultyStore(RegistryStore& inner, int failAt = -1) : m_inner(inner), m_failAt(failAt) {}

  int writes() const { return m_writes; }

  uint32_t CheckKey(const std::u16string& path) override { return m_inner.CheckKey(path); }
  uint32_t CreateKey(const std::u16string& path) override {
    return Write() ? m_inner.CreateKey(path) : kRegAccessDenied;
  }
  uint32_t SetString(const std::u16string& path, const std::u16string& name,
                     const std::u16string& data) override {
    return Write() ? m_inner.SetString(path, name, data) : kRegAccessDenied;
  }
  uint32_t DeleteValue(const std::u16string& path, const std::u16string& name) override {
    return Write() ? m_inner.DeleteValue(path, name) : kRegAccessDenied;
  }
  uint32_t DeleteTree(const std::u16string& path) override {
    return Write() ? m_inner.DeleteTree(path) : kRegAccessDenied;
  }
  uint32_t DeleteKey(const std::u16string& path) override {
    return Write() ? m_inner.DeleteKey(path) : kRegAccessDenied;
  }
  uint32_t CountSubkeys(const std::u16string& path, uint32_t& count) override {
    return m_inner.CountSubkeys(path, count);
  }
  uint32_t GetValue(const std::u16string& path, const std::u16string& name,
                    RegValue& value) override {
    return m_inner.GetValue(path, name, value);
  }
  uint32_t SetValue(const std::u16string& path, const std::u16string& name,
                    const RegValue& value) override {
    return Write() ? m_inner.SetValue(path, name, value) : kRegAccessDenied;
  }
  uint32_t ListKey(const std::u16string& path, std::vector<std::u16string>& subkeys,
                   std::vector<std::u16string>& values) override {
    return m_inner.ListKey(path, subkeys, values);
  }

 private:
  // False for the write that is to fail.
  bool Write() { return m_writes++ != m_failAt; }

  RegistryStore& m_inner;  // borrowed
  int m_failAt;
  int m_writes = 0;
};
