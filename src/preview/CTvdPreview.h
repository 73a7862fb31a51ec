// The preview object: shows a ".tvd" file's icon, caption and name in a child
// window of the host's, which it owns and places, shows, hides and destroys
// on the host's behalf. Bound to the apartment (and so the thread) that
// created it, which also owns the window; holds a module lock while it lives
// (its object form does).
#pragma once

#include "CComCoClass.h"
#include "CComObjectRootEx.h"
#include "KivHost.h"
#include "PreviewWnd.h"
#include "Vellisto.h"

class CTvdPreview : public CComObjectRootEx<CComSingleThreadModel>,
                    public CComCoClass<CTvdPreview, &CLSID_TvdPreview>,
                    public ITvdPreview,
                    public IKivFilePreview {
 public:
  static constexpr UINT kRegistryScript = 104;

  CTvdPreview() = default;
  // Destroys the window (if any) with the library's module state current.
  ~CTvdPreview();

  HRESULT InternalQueryInterface(REFIID iid, void** out);

  // Creates the hidden window as a child of parent at *rect. E_POINTER for a
  // null rect (nothing created); S_OK otherwise, also when the window cannot
  // be created. The format object calls it once, inside its own guarded call.
  HRESULT Init(HWND parent, const RECT* rect);

  // IKivFilePreview
  STDMETHOD(ShowFile)(LONG unused1, BSTR path, LONG unused3, LONG mode) override;
  STDMETHOD(Unsupported4)(LONG unused1, LONG unused2, LONG unused3) override;
  STDMETHOD(Hide)() override;
  STDMETHOD(Ignored6)(LONG unused1) override;
  STDMETHOD(Move)(const RECT* rect) override;
  STDMETHOD(Unsupported8)(LONG unused1, void* p, void* q) override;
  STDMETHOD(Unsupported9)
  (LONG unused1, LONG unused2, LONG unused3, LONG unused4, LONG unused5) override;
  STDMETHOD(Declined10)(LONG unused1) override;
  STDMETHOD(Unsupported11)(LONG unused1) override;

 private:
  PreviewWnd m_wnd;  // owned: the window object, never handed out
};
