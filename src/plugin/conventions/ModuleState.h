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
  bool valid() const { return slot_ != TLS_OUT_OF_INDEXES; }

  HINSTANCE instance() const { return instance_; }
  void SetInstance(HINSTANCE instance) { instance_ = instance; }

  // The state current on the calling thread: this library's while a guard
  // is active, else null (the caller's own).
  static ModuleState* Current();
  // Where resources are looked up now: this library inside a guard, the
  // process's main module outside.
  static HINSTANCE ResourceInstance();

 private:
  friend class ModuleStateGuard;

  DWORD slot_;                   // owned: thread-local slot holding the current state
  HINSTANCE instance_ = nullptr; // borrowed: this library's module, set at attach
};

// The library's one module state, defined with the other globals of the
// library in the order in which they must be built.
extern ModuleState g_moduleState;
