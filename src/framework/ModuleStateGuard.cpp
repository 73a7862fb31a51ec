#include "ModuleStateGuard.h"

ModuleStateGuard::ModuleStateGuard(ModuleState& state) : m_state(state), m_previous(nullptr) {
  if (!m_state.valid()) return;
  // TlsGetValue leaves the thread's last error alone only on success; keep
  // the caller's error code intact across the guard.
  const DWORD error = GetLastError();
  m_previous = TlsGetValue(m_state.m_slot);
  TlsSetValue(m_state.m_slot, &m_state);
  SetLastError(error);
}

ModuleStateGuard::~ModuleStateGuard() {
  if (!m_state.valid()) return;
  const DWORD error = GetLastError();
  TlsSetValue(m_state.m_slot, m_previous);
  SetLastError(error);
}
