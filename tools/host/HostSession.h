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
  IKivFileFormat* format() const { return format_.get(); }

  // True once any call returned a failure code.
  bool sawFailure() const { return sawFailure_; }

 private:
  HRESULT Report(const char* call, HRESULT hr);
  bool Info();
  bool Open(const std::vector<std::wstring>& words);
  bool Get(const std::vector<std::wstring>& words);
  bool Set(const std::vector<std::wstring>& words);
  bool Save();
  void Close();

  std::wstring dllPath_;
  UniqueModule dll_;                     // owned: freed in Finish
  ComPtr<IKivFileFormat> format_;        // owned reference
  ComPtr<IKivFileNavigator> navigator_;  // owned reference, the open file
  bool sawFailure_ = false;
};
