#include "ModuleState.h"

ModuleState::ModuleState() : m_slot(TlsAlloc()) {}

ModuleState::~ModuleState() {
  if (valid()) TlsFree(m_slot);
  m_slot = TLS_OUT_OF_INDEXES;
}

ModuleState* ModuleState::Current() {
  if (!g_moduleState.valid()) return nullptr;
  return static_cast<ModuleState*>(TlsGetValue(g_moduleState.m_slot));
}

HINSTANCE ModuleState::ResourceInstance() {
  const ModuleState* current = Current();
  return current ? current->instance() : GetModuleHandleW(nullptr);
}
