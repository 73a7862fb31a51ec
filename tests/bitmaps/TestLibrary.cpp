#include "TestLibrary.h"

#include "SystemCalls.h"

std::wstring ResourceLibraryPath() { return ProgramFolder() + L"KivRes.dll"; }

bool IsLoaded(const std::wstring& path) { return ::GetModuleHandleW(path.c_str()) != nullptr; }

int ReleaseAllReferences(const std::wstring& path) {
  int references = 0;
  for (HMODULE module; references < 1000 && (module = ::GetModuleHandleW(path.c_str()));) {
    RealFreeLibrary(module);
    ++references;
  }
  return references;
}
