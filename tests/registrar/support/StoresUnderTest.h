// The registries the registrar's tests run over: in memory in both builds,
// and on Windows the real registry below a scratch key of the current user,
// emptied before and after each test. Both list their content the same way
// (MemoryRegistry::Lines), so one test checks both.
#pragma once

#include "MemoryRegistry.h"

#ifdef _WIN32
#include "Handles.h"
#include "RegistryLines.h"
#include "SystemRegistry.h"
#endif

#include <string>
#include <vector>

class MemoryStore {
 public:
  static constexpr const char* kName = "memory";
  RegistryStore& store() { return m_registry; }
  std::vector<std::string> Lines() const { return m_registry.Lines(); }

 private:
  MemoryRegistry m_registry;
};

#ifdef _WIN32
class RealStore {
 public:
  static constexpr const char* kName = "real";
  static constexpr const wchar_t* kBase = L"Software\\Vellisto registrar test";

  RealStore() : m_registry(HKEY_CURRENT_USER, kBase) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kBase);
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, kBase, 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr);
    const UniqueKey created(key);  // the key only has to exist
  }
  ~RealStore() { RegDeleteTreeW(HKEY_CURRENT_USER, kBase); }
  RealStore(const RealStore&) = delete;
  RealStore& operator=(const RealStore&) = delete;

  RegistryStore& store() { return m_registry; }
  std::vector<std::string> Lines() const { return RegistryLines(HKEY_CURRENT_USER, kBase); }

 private:
  SystemRegistry m_registry;
};
#endif
