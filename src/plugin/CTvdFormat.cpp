#include "CTvdFormat.h"

#include "CTvdFile.h"
#include "CTvdPreview.h"
#include "HostCall.h"
#include "MapStatus.h"
#include "UniqueBstr.h"

namespace {

constexpr ULONG kCapabilities = 0x0000000C;

// Puts a new string in text when the host asked for it (out is not null);
// false when out of memory.
bool AllocOut(UniqueBstr& text, const BSTR* out, const OLECHAR* value) {
  if (!out) return true;
  text.reset(SysAllocString(value));
  return text.get() != nullptr;
}

void GiveOut(BSTR* out, UniqueBstr& text) {
  if (out) *out = text.release();
}

}  // namespace

IUnknown* CTvdFormat::GetControllingUnknown() { return static_cast<ITvdFormat*>(this); }

HRESULT CTvdFormat::FinalConstruct() {
  return CoCreateFreeThreadedMarshaler(GetControllingUnknown(), m_marshaler.put());
}

HRESULT CTvdFormat::InternalQueryInterface(REFIID iid, void** out) {
  IUnknown* found = nullptr;
  if (InlineIsEqualGUID(iid, IID_IUnknown) || InlineIsEqualGUID(iid, IID_ITvdFormat))
    found = static_cast<ITvdFormat*>(this);
  else if (InlineIsEqualGUID(iid, IID_IKivFileFormat))
    found = static_cast<IKivFileFormat*>(this);
  else if (InlineIsEqualGUID(iid, IID_IMarshal))
    return m_marshaler ? m_marshaler->QueryInterface(iid, out) : E_NOINTERFACE;
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
    // No half answer: the host gets every string it asked for or none.
    UniqueBstr makerText, descriptionText, extensionsText;
    if (!AllocOut(makerText, maker, OLESTR("FERROLANTH")) ||
        !AllocOut(descriptionText, description, OLESTR("File format plugins for virtual files.")) ||
        !AllocOut(extensionsText, extensions, OLESTR("tvd")))
      return E_OUTOFMEMORY;
    GiveOut(maker, makerText);
    GiveOut(description, descriptionText);
    GiveOut(extensions, extensionsText);
    return S_OK;
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
    // Released on every way out but success, which destroys the navigator
    // and its document.
    ComPtr<CComObject<CTvdFile>> held(file);
    const HRESULT hr = MapStatus(held->Load(path));
    if (FAILED(hr)) return hr;
    *navigator = held.Detach();  // the reference taken above passes to the host
    return S_OK;
  });
}

HRESULT CTvdFormat::CreatePreview(HWND parent, const RECT* rect, LONG, LONG,
                                  IKivFilePreview** preview) {
  return GuardedHostCall([&]() -> HRESULT {
    // Unlike OpenFile, the host's out pointer is left alone until success.
    if (!preview) return E_POINTER;
    CComObject<CTvdPreview>* created = nullptr;
    if (FAILED(CComObject<CTvdPreview>::CreateInstance(&created))) return E_OUTOFMEMORY;
    created->AddRef();
    // Released, which destroys the preview, unless it passes to the host.
    ComPtr<CComObject<CTvdPreview>> object(created);
    const HRESULT hr = object->Init(parent, rect);
    if (FAILED(hr)) return hr;
    *preview = object.Detach();
    return S_OK;
  });
}

HRESULT CTvdFormat::FormatReserved7(LONG, LONG) {
  ModuleStateGuard guard;
  return E_NOTIMPL;
}
