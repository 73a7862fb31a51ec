// Redirects one function this test program imports from a system library to
// a replacement of the test's, by rewriting the program's import table, and
// puts the original back when it goes. The code under test is linked into
// the program, so its calls of that function go through the replacement,
// which counts or records them and passes them on to the system. Another
// module's imports (a library under test loaded by path) can be redirected
// the same way.
#pragma once

#include <windows.h>

#include <vector>

class ImportHook {
 public:
  ImportHook(const char* library, const char* function, void* replacement,
             HMODULE module = nullptr);
  ~ImportHook();
  ImportHook(const ImportHook&) = delete;
  ImportHook& operator=(const ImportHook&) = delete;

  // True when the program imports the function (and so it was redirected).
  bool installed() const { return !m_slots.empty(); }
  // The system's function, to pass calls on to.
  template <typename F>
  F original() const {
    return reinterpret_cast<F>(m_original);
  }

 private:
  static void Write(void** slot, void* value);

  std::vector<void**> m_slots;  // borrowed: import table entries rewritten
  void* m_original = nullptr;   // borrowed: the system's function
};
