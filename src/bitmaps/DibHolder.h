// The process-wide cache of bitmaps loaded from resource modules. It loads a
// module and a bitmap on first request, hands the same CDib to every later
// request for the same module and identifier, and keeps everything until it
// is emptied or destroyed. Safe to call from any thread. GetDib lets
// std::bad_alloc through when memory runs out (the lock is released; an
// entry made before the failure stays).
#pragma once

#include "CDib.h"
#include "Handles.h"

#include <memory>
#include <string>
#include <unordered_map>

class DibHolder {
 public:
  DibHolder() noexcept;
  virtual ~DibHolder();
  DibHolder(const DibHolder&) = delete;
  DibHolder& operator=(const DibHolder&) = delete;

  // Bitmap id of the module named name (a file name or path, mapped by the
  // cache on first use as an image resource, so none of its code runs, and
  // kept). Names are told apart only by letter case
  // folding: two spellings of one path are two modules for the cache. A
  // module that fails to load is not tried again under the same name. Null
  // when the module or the bitmap cannot be loaded; a bitmap that failed is
  // tried again on the next request. The CDib stays owned by the cache.
  CDib* GetDib(UINT id, const wchar_t* name);
  // Bitmap id of a module the caller has loaded and keeps loaded; the cache
  // never frees it.
  CDib* GetDib(UINT id, HINSTANCE module);
  // Destroys every bitmap and frees every module the cache loaded.
  void RemoveAll();
  // For the end of the process: the cache lets go of everything it holds
  // without destroying it, so that its destruction makes no GDI or loader
  // call and takes no lock (a thread the system ended may hold what those
  // need). The system takes the bitmaps and modules back with the process.
  void Abandon();

 private:
  // One module and the bitmaps loaded from it so far.
  struct Instance {
    UniqueModule
        m_hInst;  // owned for entries by name (null when the load failed); unused by handle
    std::unordered_map<UINT, std::unique_ptr<CDib>> m_dibs;  // owned; only loaded bitmaps
  };

  CDib* FindOrLoad(Instance& instance, HINSTANCE module, UINT id);

  struct Entries {
    std::unordered_map<HINSTANCE, std::unique_ptr<Instance>> byHandle;   // modules borrowed
    std::unordered_map<std::wstring, std::unique_ptr<Instance>> byName;  // keys lower-cased
  };

  std::unique_ptr<Entries> m_entries;  // owned; let go of, not destroyed, by Abandon
  CRITICAL_SECTION m_lock;             // guards the entries, every Instance and every CDib's life
  bool m_ready;                        // the lock and the entries were set up, and not abandoned
};

// The one cache of the process (defined with the library's other globals).
extern DibHolder g_dibHolder;
