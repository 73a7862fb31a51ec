// Where the test resource library lives, and looks at the loader's state.
#pragma once

#include <windows.h>

#include <string>

// The folder of this program, with a trailing backslash.
std::wstring ProgramFolder();
// The test resource library built beside this program.
std::wstring ResourceLibraryPath();
// Whether a module of that path is loaded in this process.
bool IsLoaded(const std::wstring& path);
// Frees the module of that path until it is gone; returns how many
// references it had. Destructive: only for the end of a test.
int ReleaseAllReferences(const std::wstring& path);

// A fresh folder under the temporary folder, removed with what it holds.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::wstring& path() const { return m_path; }  // with a trailing backslash

 private:
  std::wstring m_path;
};
