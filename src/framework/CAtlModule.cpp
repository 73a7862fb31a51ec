#include "CAtlModule.h"

namespace {

CAtlModule* g_current = nullptr;  // borrowed: the module object, set by its constructor

}  // namespace

CAtlModule::CAtlModule() { g_current = this; }

CAtlModule::~CAtlModule() {
  if (g_current == this) g_current = nullptr;
}

LONG CAtlModule::Lock() { return InterlockedIncrement(&m_lockCount); }

LONG CAtlModule::Unlock() {
  const LONG count = InterlockedDecrement(&m_lockCount);
  if (count == 0 && m_idleHandler) m_idleHandler();
  return count;
}

LONG CAtlModule::GetLockCount() const {
  return InterlockedCompareExchange(const_cast<LONG*>(&m_lockCount), 0, 0);
}

void CAtlModule::LockServer() {
  InterlockedIncrement(&m_serverLocks);
  Lock();
}

void CAtlModule::UnlockServer() {
  LONG held = InterlockedCompareExchange(&m_serverLocks, 0, 0);
  while (held > 0) {
    const LONG seen = InterlockedCompareExchange(&m_serverLocks, held - 1, held);
    if (seen == held) {
      Unlock();
      return;
    }
    held = seen;
  }
}

CAtlModule* CAtlModule::Current() { return g_current; }
