// The reference host: creates the format object by its ProgID, as a host
// finds a registered plugin, or loads Vellisto.dll by path and asks its class
// object, as a host does before the library is registered; then drives it
// through the host's interfaces, one command at a time. It prints every
// HRESULT it receives; it never looks at a file itself.
#pragma once

#include "ComPtr.h"
#include "KivHost.h"
#include "UniqueHandle.h"

#include <string>
#include <vector>

class HostSession {
 public:
  static constexpr const wchar_t* kFormatProgId = L"Vellisto.TvdFormat";

  // An empty dllPath: the registered class, by kFormatProgId.
  explicit HostSession(std::wstring dllPath);
  ~HostSession();
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  // Creates the format object (loading the library first when it has a
  // path); false (after printing why) when that fails.
  bool Start();
  // Runs one command; false for a command line that is not understood.
  bool Run(const std::vector<std::wstring>& words);
  // Releases everything, asks DllCanUnloadNow and unloads the library.
  void Finish();

  // The format object once Start succeeded (null before); the session keeps
  // the reference.
  IKivFileFormat* format() const { return m_format.get(); }

  // True once any call returned a failure code.
  bool sawFailure() const { return m_sawFailure; }

 private:
  HRESULT Report(const char* call, HRESULT hr);
  bool Info();
  bool Open(const std::vector<std::wstring>& words);
  bool Get(const std::vector<std::wstring>& words);
  bool Set(const std::vector<std::wstring>& words);
  bool Save();
  void Close();

  std::wstring m_dllPath;
  UniqueModule m_dll;                     // owned: freed in Finish
  ComPtr<IKivFileFormat> m_format;        // owned reference
  ComPtr<IKivFileNavigator> m_navigator;  // owned reference, the open file
  bool m_sawFailure = false;
};
