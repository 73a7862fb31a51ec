#include "ModuleState.h"

ModuleState::ModuleState() : slot_(TlsAlloc()) {}

ModuleState::~ModuleState() {
  if (valid()) TlsFree(slot_);
  slot_ = TLS_OUT_OF_INDEXES;
}

ModuleState* ModuleState::Current() {
  if (!g_moduleState.valid()) return nullptr;
  return static_cast<ModuleState*>(TlsGetValue(g_moduleState.slot_));
}

HINSTANCE ModuleState::ResourceInstance() {
  const ModuleState* current = Current();
  return current ? current->instance() : GetModuleHandleW(nullptr);
}
