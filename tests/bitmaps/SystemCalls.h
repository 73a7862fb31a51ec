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

  std::atomic<int> loadLibrary{0};
  std::atomic<int> freeLibrary{0};
  std::atomic<int> loadImage{0};
  std::atomic<int> loadImageFailed{0};
  std::atomic<int> createPalette{0};
  std::atomic<int> selectPalette{0};
  std::atomic<int> realizePalette{0};
  std::atomic<int> bitBlt{0};
  std::atomic<int> stretchBlt{0};
  std::atomic<int> drawDibOpen{0};
  std::atomic<int> drawDibDraw{0};

  // Guarded by m_record.
  std::vector<std::wstring> loadedNames;
  std::vector<HMODULE> freedModules;
  std::vector<LOGPALETTE> createdPalettes;  // header of each, first entry only
  std::vector<std::vector<PALETTEENTRY>> createdPaletteEntries;
  std::vector<PaletteSelection> selections;
  std::vector<DrawDibArgs> drawDibCalls;

  std::mutex m_record;

 private:
  std::vector<std::unique_ptr<ImportHook>> m_hooks;  // owned
};

// The system's own functions, not counted: for the tests' own module work.
HMODULE RealLoadLibrary(const wchar_t* name);
BOOL RealFreeLibrary(HMODULE module);
