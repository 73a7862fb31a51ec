#include "TestLibrary.h"

#include "MappedFiles.h"
#include "SystemCalls.h"

std::wstring ResourceLibraryPath() { return ProgramFolder() + L"KivRes.dll"; }

// The cache maps libraries as image resources, which the loader's module
// list does not hold: look for views of the file instead.
bool IsLoaded(const std::wstring& path) { return IsMapped(path); }

int ReleaseAllReferences(const std::wstring& path) {
  int references = 0;
  for (HMODULE module; references < 1000 && (module = ::GetModuleHandleW(path.c_str()));) {
    RealFreeLibrary(module);
    ++references;
  }
  return references;
}
