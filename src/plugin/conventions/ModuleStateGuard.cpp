#include "ModuleStateGuard.h"

ModuleStateGuard::ModuleStateGuard(ModuleState& state) : state_(state), previous_(nullptr) {
  if (!state_.valid()) return;
  // TlsGetValue leaves the thread's last error alone only on success; keep
  // the caller's error code intact across the guard.
  const DWORD error = GetLastError();
  previous_ = TlsGetValue(state_.slot_);
  TlsSetValue(state_.slot_, &state_);
  SetLastError(error);
}

ModuleStateGuard::~ModuleStateGuard() {
  if (!state_.valid()) return;
  const DWORD error = GetLastError();
  TlsSetValue(state_.slot_, previous_);
  SetLastError(error);
}
