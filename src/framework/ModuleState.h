// The library's own module state: what lookups of resources and windows
// resolve to while the library's code runs on behalf of the host. A thread
// runs either in the caller's state (nothing of ours current) or, inside a
// ModuleStateGuard, in this library's state.
#pragma once

#include <windows.h>

class ModuleState {
 public:
  ModuleState();
  ~ModuleState();
  ModuleState(const ModuleState&) = delete;
  ModuleState& operator=(const ModuleState&) = delete;

  // False when the per-thread slot could not be had; the library then
  // refuses to attach.
  bool valid() const { return m_slot != TLS_OUT_OF_INDEXES; }

  HINSTANCE instance() const { return m_instance; }
  void SetInstance(HINSTANCE instance) { m_instance = instance; }

  // The state current on the calling thread: this library's while a guard
  // is active, else null (the caller's own).
  static ModuleState* Current();
  // Where resources are looked up now: this library inside a guard, the
  // process's main module outside.
  static HINSTANCE ResourceInstance();

 private:
  friend class ModuleStateGuard;

  DWORD m_slot;                    // owned: thread-local slot holding the current state
  HINSTANCE m_instance = nullptr;  // borrowed: this library's module, set at attach
};

// The library's one module state, defined with the other globals of the
// library in the order in which they must be built.
extern ModuleState g_moduleState;
