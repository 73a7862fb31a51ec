// The module's lock count: every reason for the library to stay loaded. There
// is one module object per library; its constructor makes it the one that
// objects and class objects reach through Current().
#pragma once

#include <windows.h>

class CAtlModule {
 public:
  CAtlModule();
  virtual ~CAtlModule();
  CAtlModule(const CAtlModule&) = delete;
  CAtlModule& operator=(const CAtlModule&) = delete;

  // Interlocked; each returns the new count.
  LONG Lock();
  LONG Unlock();
  LONG GetLockCount() const;

  // Called by Unlock, on whatever thread, each time the count falls to 0:
  // the library has no live object left. Set once at start-up.
  void SetIdleHandler(void (*handler)()) { m_idleHandler = handler; }

  // IClassFactory::LockServer. An unlock without a matching lock is ignored,
  // so that a host's stray unlock cannot take a lock that a live object holds
  // and let the library unload under it.
  void LockServer();
  void UnlockServer();

  // The library's module object (null before it is constructed).
  static CAtlModule* Current();

 private:
  LONG m_lockCount = 0;
  LONG m_serverLocks = 0;  // the part of m_lockCount that LockServer took
  void (*m_idleHandler)() = nullptr;
};

// Holds one module lock for its scope: around an object's destruction, the
// library stays locked while the members are torn down.
class ModuleLockHelper {
 public:
  ModuleLockHelper() { CAtlModule::Current()->Lock(); }
  ~ModuleLockHelper() { CAtlModule::Current()->Unlock(); }
  ModuleLockHelper(const ModuleLockHelper&) = delete;
  ModuleLockHelper& operator=(const ModuleLockHelper&) = delete;
};
