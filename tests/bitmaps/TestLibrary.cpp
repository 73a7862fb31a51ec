#include "TestLibrary.h"

#include "SystemCalls.h"

#include <atomic>

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

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

TempFolder::TempFolder() {
  static std::atomic<int> serial{0};
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  m_path = std::wstring(temp) + L"vellisto-bitmaps-" + std::to_wstring(::GetCurrentProcessId()) +
           L"-" + std::to_wstring(++serial) + L"\\";
  ::CreateDirectoryW(m_path.c_str(), nullptr);
}

TempFolder::~TempFolder() {
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW((m_path + L"*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      ::DeleteFileW((m_path + found.cFileName).c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
  }
  ::RemoveDirectoryW(m_path.c_str());
}
