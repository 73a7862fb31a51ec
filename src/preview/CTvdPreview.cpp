#include "CTvdPreview.h"

#include "HostCall.h"
#include "ModuleStateGuard.h"

#include <string>

namespace {

constexpr LONG kDeclinedMode = 1;

}  // namespace

CTvdPreview::~CTvdPreview() {
  ModuleStateGuard guard;
  m_wnd.DestroyWindow();
}

HRESULT CTvdPreview::InternalQueryInterface(REFIID iid, void** out) {
  IUnknown* found = nullptr;
  if (InlineIsEqualGUID(iid, IID_IUnknown) || InlineIsEqualGUID(iid, IID_ITvdPreview))
    found = static_cast<ITvdPreview*>(this);
  else if (InlineIsEqualGUID(iid, IID_IKivFilePreview))
    found = static_cast<IKivFilePreview*>(this);
  if (!found) return E_NOINTERFACE;
  found->AddRef();
  *out = found;
  return S_OK;
}

HRESULT CTvdPreview::Init(HWND parent, const RECT* rect) {
  if (!rect) return E_POINTER;
  const RECT copy = *rect;
  m_wnd.Create(parent, &copy);  // no window is no failure: the host sees an empty pane
  return S_OK;
}

// IKivFilePreview

HRESULT CTvdPreview::ShowFile(LONG, BSTR path, LONG, LONG mode) {
  return GuardedHostCall([&]() -> HRESULT {
    if (mode == kDeclinedMode) return KIV_E_PREVIEW_MODE;
    // Out of memory (the copy or the name) leaves the name and the window as
    // they were and gives E_OUTOFMEMORY.
    const std::wstring copy(path ? path : L"", SysStringLen(path));
    m_wnd.SetFile(copy.c_str());
    m_wnd.ShowWindow(SW_SHOW);
    return S_OK;
  });
}

HRESULT CTvdPreview::Unsupported4(LONG, LONG, LONG) {
  ModuleStateGuard guard;
  return E_NOTIMPL;
}

HRESULT CTvdPreview::Hide() {
  return GuardedHostCall([&]() -> HRESULT {
    m_wnd.ShowWindow(SW_HIDE);
    return S_OK;
  });
}

HRESULT CTvdPreview::Ignored6(LONG) {
  ModuleStateGuard guard;
  return S_OK;
}

HRESULT CTvdPreview::Move(const RECT* rect) {
  return GuardedHostCall([&]() -> HRESULT {
    if (!rect) return E_POINTER;
    const RECT copy = *rect;
    m_wnd.MoveWindow(copy, true);
    // The class has no redraw-on-resize styles, so the system would repaint
    // only the newly uncovered part and keep the old picture, laid out for
    // the old size, in the rest: the centred block must be painted whole.
    m_wnd.Invalidate(true);
    return S_OK;
  });
}

HRESULT CTvdPreview::Unsupported8(LONG, void* p, void* q) {
  ModuleStateGuard guard;
  return p && q ? E_NOTIMPL : E_POINTER;
}

HRESULT CTvdPreview::Unsupported9(LONG, LONG, LONG, LONG, LONG) {
  ModuleStateGuard guard;
  return E_NOTIMPL;
}

HRESULT CTvdPreview::Declined10(LONG) { return S_FALSE; }

HRESULT CTvdPreview::Unsupported11(LONG) { return E_NOTIMPL; }
