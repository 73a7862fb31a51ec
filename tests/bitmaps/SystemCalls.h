// Counts and records the system calls the bitmap code makes, for the tests'
// lifetime of one SystemCalls object. Every call is passed on to the system
// unchanged: what is counted is what really happened.
#pragma once

#include "ImportHook.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class SystemCalls {
 public:
  struct DrawDibArgs {
    int xDst, yDst, dxDst, dyDst, xSrc, ySrc, dxSrc, dySrc;
    UINT flags;
  };
  struct PaletteSelection {
    HPALETTE palette;
    BOOL forceBackground;
  };

  SystemCalls();
  ~SystemCalls();
  SystemCalls(const SystemCalls&) = delete;
  SystemCalls& operator=(const SystemCalls&) = delete;

  // True when every function watched is imported by the program.
  bool AllInstalled() const;
  // Forgets everything counted and recorded so far.
  void Reset();

  std::atomic<int> m_loadLibrary{0};  // LoadLibraryExW, the way the cache loads modules
  std::atomic<int> m_freeLibrary{0};
  std::atomic<int> m_loadImage{0};
  std::atomic<int> m_loadImageFailed{0};
  std::atomic<int> m_createPalette{0};
  std::atomic<int> m_selectPalette{0};
  std::atomic<int> m_realizePalette{0};
  std::atomic<int> m_bitBlt{0};
  std::atomic<int> m_stretchBlt{0};
  std::atomic<int> m_drawDibOpen{0};
  std::atomic<int> m_drawDibDraw{0};

  // Guarded by m_record.
  std::vector<std::wstring> m_loadedNames;
  std::vector<DWORD> m_loadFlags;  // of each LoadLibraryExW
  std::vector<HMODULE> m_freedModules;
  std::vector<LOGPALETTE> m_createdPalettes;  // header of each, first entry only
  std::vector<std::vector<PALETTEENTRY>> m_createdPaletteEntries;
  std::vector<PaletteSelection> m_selections;
  std::vector<DrawDibArgs> m_drawDibCalls;

  std::mutex m_record;

 private:
  std::vector<std::unique_ptr<ImportHook>> m_hooks;  // owned
};

// The system's own functions, not counted: for the tests' own module work.
HMODULE RealLoadLibrary(const wchar_t* name);
BOOL RealFreeLibrary(HMODULE module);
