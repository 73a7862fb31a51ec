// The format object: describes the ".tvd" format to the host and opens file
// navigators. Stateless, so any thread may call it (registered "Both"); its
// interface pointers cross apartments directly through the free-threaded
// marshaler that it aggregates.
#pragma once

#include "CComCoClass.h"
#include "CComObjectRootEx.h"
#include "ComPtr.h"
#include "KivHost.h"
#include "Vellisto.h"

class CTvdFormat : public CComObjectRootEx<CComMultiThreadModel>,
                   public CComCoClass<CTvdFormat, &CLSID_TvdFormat>,
                   public ITvdFormat,
                   public IKivFileFormat {
 public:
  static constexpr UINT kRegistryScript = 102;

  CTvdFormat() = default;

  // The object itself when stand-alone; the object forms that aggregate it
  // answer with the outer unknown instead. Virtual, after IUnknown's slots.
  virtual IUnknown* GetControllingUnknown();

  // Creates the free-threaded marshaler, aggregated on the controlling unknown.
  HRESULT FinalConstruct();
  HRESULT InternalQueryInterface(REFIID iid, void** out);

  // IKivFileFormat
  STDMETHOD(GetInfo)(BSTR* maker, BSTR* description, BSTR* extensions) override;
  STDMETHOD(GetCapabilities)(LPCWSTR extension, ULONG* flags) override;
  STDMETHOD(OpenFile)(LPCWSTR path, LONG unused2, IKivFileNavigator** navigator) override;
  STDMETHOD(CreatePreview)
  (HWND parent, const RECT* rect, LONG unused3, LONG unused4, IKivFilePreview** preview) override;
  STDMETHOD(FormatReserved7)(LONG unused1, LONG unused2) override;

 private:
  ComPtr<IUnknown> m_marshaler;  // owned: inner unknown of the aggregated free-threaded marshaler
};
