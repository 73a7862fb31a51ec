// Makes the library's module state current on this thread for one scope and
// restores the caller's state on every way out. Guards nest.
#pragma once

#include "ModuleState.h"

class ModuleStateGuard {
 public:
  explicit ModuleStateGuard(ModuleState& state = g_moduleState);
  ~ModuleStateGuard();
  ModuleStateGuard(const ModuleStateGuard&) = delete;
  ModuleStateGuard& operator=(const ModuleStateGuard&) = delete;

 private:
  ModuleState& m_state;  // borrowed: the library's state, a global
  void* m_previous;      // borrowed: the state current before the guard (null: the caller's)
};
