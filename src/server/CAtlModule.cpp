#include "CAtlModule.h"

namespace {

CAtlModule* g_current = nullptr;  // borrowed: the module object, set by its constructor

}  // namespace

CAtlModule::CAtlModule() { g_current = this; }

CAtlModule::~CAtlModule() {
  if (g_current == this) g_current = nullptr;
}

LONG CAtlModule::Lock() { return InterlockedIncrement(&lockCount_); }

LONG CAtlModule::Unlock() { return InterlockedDecrement(&lockCount_); }

LONG CAtlModule::GetLockCount() const {
  return InterlockedCompareExchange(const_cast<LONG*>(&lockCount_), 0, 0);
}

void CAtlModule::LockServer() {
  InterlockedIncrement(&serverLocks_);
  Lock();
}

void CAtlModule::UnlockServer() {
  LONG held = InterlockedCompareExchange(&serverLocks_, 0, 0);
  while (held > 0) {
    const LONG seen = InterlockedCompareExchange(&serverLocks_, held - 1, held);
    if (seen == held) {
      Unlock();
      return;
    }
    held = seen;
  }
}

CAtlModule* CAtlModule::Current() { return g_current; }
