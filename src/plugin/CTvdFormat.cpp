#include "CTvdFormat.h"

#include "CTvdFile.h"
#include "CTvdPreview.h"
#include "HostCall.h"
#include "MapStatus.h"

namespace {

constexpr ULONG kCapabilities = 0x0000000C;

// Puts a new string in *out unless out is null; false when out of memory.
bool AllocOut(BSTR* out, const OLECHAR* text) {
  if (!out) return true;
  *out = SysAllocString(text);
  return *out != nullptr;
}

void FreeOut(BSTR* out) {
  if (!out) return;
  SysFreeString(*out);
  *out = nullptr;
}

}  // namespace

CTvdFormat::~CTvdFormat() {
  if (marshaler_) marshaler_->Release();
}

IUnknown* CTvdFormat::GetControllingUnknown() { return static_cast<ITvdFormat*>(this); }

HRESULT CTvdFormat::FinalConstruct() {
  return CoCreateFreeThreadedMarshaler(GetControllingUnknown(), &marshaler_);
}

HRESULT CTvdFormat::InternalQueryInterface(REFIID iid, void** out) {
  IUnknown* found = nullptr;
  if (InlineIsEqualGUID(iid, IID_IUnknown) || InlineIsEqualGUID(iid, IID_ITvdFormat))
    found = static_cast<ITvdFormat*>(this);
  else if (InlineIsEqualGUID(iid, IID_IKivFileFormat))
    found = static_cast<IKivFileFormat*>(this);
  else if (InlineIsEqualGUID(iid, IID_IMarshal))
    return marshaler_ ? marshaler_->QueryInterface(iid, out) : E_NOINTERFACE;
  if (!found) return E_NOINTERFACE;
  found->AddRef();
  *out = found;
  return S_OK;
}

// IKivFileFormat

HRESULT CTvdFormat::GetInfo(BSTR* maker, BSTR* description, BSTR* extensions) {
  return GuardedHostCall([&]() -> HRESULT {
    for (BSTR* out : {maker, description, extensions})
      if (out) *out = nullptr;
    if (AllocOut(maker, OLESTR("FERROLANTH")) &&
        AllocOut(description, OLESTR("File format plugins for virtual files.")) &&
        AllocOut(extensions, OLESTR("tvd")))
      return S_OK;
    // No half answer: a string the host would take for given is missing.
    FreeOut(maker);
    FreeOut(description);
    FreeOut(extensions);
    return E_OUTOFMEMORY;
  });
}

HRESULT CTvdFormat::GetCapabilities(LPCWSTR, ULONG* flags) {
  return GuardedHostCall([&]() -> HRESULT {
    if (!flags) return E_POINTER;
    *flags = kCapabilities;
    return S_OK;
  });
}

HRESULT CTvdFormat::OpenFile(LPCWSTR path, LONG, IKivFileNavigator** navigator) {
  return GuardedHostCall([&]() -> HRESULT {
    if (!navigator) return E_POINTER;
    *navigator = nullptr;
    CComObject<CTvdFile>* file = nullptr;
    if (FAILED(CComObject<CTvdFile>::CreateInstance(&file))) return E_OUTOFMEMORY;
    file->AddRef();
    HRESULT hr = E_FAIL;
    try {
      hr = MapStatus(file->Load(path));
    } catch (...) {
      file->Release();
      throw;
    }
    if (FAILED(hr)) {
      file->Release();  // destroys the navigator and its document
      return hr;
    }
    *navigator = file;  // the reference taken above passes to the host
    return S_OK;
  });
}

HRESULT CTvdFormat::CreatePreview(HWND parent, const RECT* rect, LONG, LONG,
                                  IKivFilePreview** preview) {
  return GuardedHostCall([&]() -> HRESULT {
    // Unlike OpenFile, the host's out pointer is left alone until success.
    if (!preview) return E_POINTER;
    CComObject<CTvdPreview>* object = nullptr;
    if (FAILED(CComObject<CTvdPreview>::CreateInstance(&object))) return E_OUTOFMEMORY;
    object->AddRef();
    HRESULT hr = E_FAIL;
    try {
      hr = object->Init(parent, rect);
    } catch (...) {
      object->Release();
      throw;
    }
    if (FAILED(hr)) {
      object->Release();  // destroys the preview
      return hr;
    }
    *preview = object;  // the reference taken above passes to the host
    return S_OK;
  });
}

HRESULT CTvdFormat::FormatReserved7(LONG, LONG) {
  ModuleStateGuard guard;
  return E_NOTIMPL;
}
