#include "SharedKey.h"

#include "CriticalSectionLock.h"

namespace {

// Every SharedKey of the process, for CloseAll. Made on first use, before the
// first key, and so destroyed after the last one.
struct KeyList {
  KeyList() { ::InitializeCriticalSection(&lock); }
  ~KeyList() { ::DeleteCriticalSection(&lock); }
  CRITICAL_SECTION lock;
  SharedKey* first = nullptr;  // borrowed; the keys link on through their m_next
};

KeyList& Keys() {
  static KeyList keys;
  return keys;
}

}  // namespace

SharedKey::SharedKey(HKEY root, const wchar_t* subKey) : m_root(root), m_subKey(subKey) {
  ::InitializeCriticalSection(&m_lock);  // cannot fail since Windows Vista
  KeyList& keys = Keys();
  CriticalSectionLock hold(keys.lock);
  m_next = keys.first;
  keys.first = this;
}

SharedKey::~SharedKey() {
  {
    KeyList& keys = Keys();
    CriticalSectionLock hold(keys.lock);
    SharedKey** link = &keys.first;
    while (*link != this) link = &(*link)->m_next;
    *link = m_next;
  }
  ::DeleteCriticalSection(&m_lock);
}

void SharedKey::Close() {
  CriticalSectionLock lock(m_lock);
  m_key.Close();
}

void SharedKey::CloseAll() {
  KeyList& keys = Keys();
  CriticalSectionLock hold(keys.lock);
  for (SharedKey* key = keys.first; key; key = key->m_next) key->Close();
}

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
