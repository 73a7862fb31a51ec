#include "PreviewCaption.h"

#include "ComPtr.h"
#include "KivHost.h"
#include "PreviewIcon.h"
#include "ReadRegistryString.h"
#include "UniqueBstr.h"

#include <ole2.h>

#include <new>

namespace {

const wchar_t kProductName[] = L"FERROLANTH PDM";
const wchar_t kModuleName[] = L"Vellisto";
const wchar_t kFallbackSuffix[] = L" Virtual File";
constexpr LONG kCaptionText = 0;
// In-process server and handler, local and remote server.
constexpr DWORD kAnyContext =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

// The component, created for IUnknown and put into the running state first
// (it may live in another process), then asked for its interface.
ComPtr<IKivStringSource> CreateStringSource() {
  ComPtr<IUnknown> unknown;
  if (FAILED(::CoCreateInstance(CLSID_KivStringSource, nullptr, kAnyContext, IID_IUnknown,
                                unknown.put_void())) ||
      !unknown)
    return ComPtr<IKivStringSource>();
  ComPtr<IKivStringSource> source;
  if (FAILED(::OleRun(unknown.get())) || FAILED(unknown.As(IID_IKivStringSource, source)))
    return ComPtr<IKivStringSource>();
  return source;
}

// LoadModule and GetString; false when either fails (or when the names
// cannot be allocated, which counts as a failed LoadModule).
bool AskForCaption(IKivStringSource* source, std::wstring& caption) {
  UniqueBstr application(::SysAllocString(kProductName));
  UniqueBstr module(::SysAllocString(kModuleName));
  if (!application.get() || !module.get()) return false;
  if (FAILED(source->LoadModule(application.get(), module.get()))) return false;
  UniqueBstr text;
  if (FAILED(source->GetString(kCaptionText, text.put()))) return false;
  caption.assign(text.get() ? text.get() : L"", text.length());
  return true;
}

}  // namespace

std::wstring PreviewCaption() {
  const ComPtr<IKivStringSource> source = CreateStringSource();
  if (!source) return std::wstring();
  std::wstring caption;
  if (!AskForCaption(source.get(), caption))
    caption = GetProductName(kProductName) + kFallbackSuffix;
  return caption;
}

std::wstring GetProductName(const wchar_t* defaultName) {
  std::wstring name;
  if (ReadRegistryString(HKEY_LOCAL_MACHINE, kHostKey, nullptr, name) && !name.empty()) return name;
  if (ReadRegistryString(HKEY_CURRENT_USER, kHostKey, nullptr, name) && !name.empty()) return name;
  return defaultName;
}
