#include "SharedKey.h"

#include "CriticalSectionLock.h"

SharedKey::SharedKey(HKEY root, const wchar_t* subKey) : m_root(root), m_subKey(subKey) {
  ::InitializeCriticalSection(&m_lock);  // cannot fail since Windows Vista
}

SharedKey::~SharedKey() { ::DeleteCriticalSection(&m_lock); }

bool SharedKey::Read(const std::function<bool(Registry&)>& read) {
  CriticalSectionLock lock(m_lock);
  if (m_key.IsOpen()) {
    if (read(m_key)) return true;
    // Any other failure is the answer of the key the name still names.
    if (m_key.LastError() != ERROR_KEY_DELETED) return false;
  }
  // Not open yet, or deleted since (and perhaps made again): a failed open
  // leaves the object closed, the deleted key's handle let go.
  if (!m_key.Open(m_root, m_subKey, KEY_READ)) return false;
  return read(m_key);
}
