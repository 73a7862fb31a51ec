#include "DibHolder.h"

#include <new>

// The library defines g_dibHolder among its other globals, so that its
// place in the order of construction is fixed.

// Never fails since Windows Vista. Should it fail, the cache stays empty and
// answers every request with null, rather than ending the host's process
// while the library starts.
DibHolder::DibHolder() noexcept
    : m_entries(new (std::nothrow) Entries),
      m_ready(m_entries && ::InitializeCriticalSectionAndSpinCount(&m_lock, 0) != FALSE) {}

DibHolder::~DibHolder() {
  if (!m_ready) return;  // never set up, or abandoned: nothing is touched
  RemoveAll();
  ::DeleteCriticalSection(&m_lock);
}

void DibHolder::Abandon() {
  // Called while no other thread runs: the lock is not needed, and the
  // critical section is left as it is with the rest.
  m_ready = false;
  (void)m_entries.release();
}

CDib* DibHolder::GetDib(UINT id, const wchar_t* name) {
  if (!name || !m_ready) return nullptr;
  CriticalSectionLock lock(m_lock);
  // Only letter case is folded: paths are neither resolved nor tidied.
  std::wstring key(name);
  if (!key.empty()) ::CharLowerBuffW(&key[0], static_cast<DWORD>(key.size()));

  auto& byName = m_entries->byName;
  auto found = byName.find(key);
  if (found == byName.end()) {
    // Entered before the load, so that a module that cannot be loaded is not
    // tried again under this name.
    found = byName.emplace(std::move(key), std::make_unique<Instance>()).first;
    Instance& fresh = *found->second;
    // As an image resource, mapped and never run: the bitmaps are all the
    // cache reads, and a library loaded as code would run its start-up code
    // in the host's process. Loaded by the name as the caller spelt it.
    fresh.m_hInst.reset(
        ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE));
    if (!fresh.m_hInst) return nullptr;
  }
  Instance& instance = *found->second;
  return FindOrLoad(instance, instance.m_hInst.get(), id);
}

CDib* DibHolder::GetDib(UINT id, HINSTANCE module) {
  if (!m_ready) return nullptr;
  CriticalSectionLock lock(m_lock);
  auto& byHandle = m_entries->byHandle;
  auto found = byHandle.find(module);
  if (found == byHandle.end()) {
    found = byHandle.emplace(module, std::make_unique<Instance>()).first;
  }
  return FindOrLoad(*found->second, module, id);
}

CDib* DibHolder::FindOrLoad(Instance& instance, HINSTANCE module, UINT id) {
  // The full identifier is the key; only its low 16 bits name the resource.
  const auto found = instance.m_dibs.find(id);
  if (found != instance.m_dibs.end()) return found->second.get();
  auto dib = std::make_unique<CDib>();
  if (!dib->Load(module, MAKEINTRESOURCEW(LOWORD(id)))) return nullptr;  // tried again next time
  return instance.m_dibs.emplace(id, std::move(dib)).first->second.get();
}

void DibHolder::RemoveAll() {
  if (!m_ready) return;
  CriticalSectionLock lock(m_lock);
  // Modules given by handle belong to their callers and are left loaded.
  m_entries->byHandle.clear();
  for (auto& entry : m_entries->byName) {
    // The bitmaps are copies in memory of their own: the module may go first.
    entry.second->m_hInst.reset();
    entry.second->m_dibs.clear();
  }
  m_entries->byName.clear();
}
