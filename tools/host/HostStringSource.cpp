#include "HostStringSource.h"

#include <new>

namespace {

// Shared by every object the factory makes; the factory owns it.
struct Strings {
  std::wstring caption;
  bool hasStrings = true;
};

class Source : public IKivStringSource {
 public:
  explicit Source(const Strings& strings) : m_strings(strings) {}
  virtual ~Source() = default;

  STDMETHOD(QueryInterface)(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!InlineIsEqualGUID(iid, IID_IUnknown) && !InlineIsEqualGUID(iid, IID_IKivStringSource))
      return E_NOINTERFACE;
    *out = static_cast<IKivStringSource*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
  STDMETHOD_(ULONG, Release)() override {
    const ULONG count = --m_refs;
    if (count == 0) delete this;
    return count;
  }

  STDMETHOD(SourceReserved03)() override { return E_NOTIMPL; }
  STDMETHOD(SourceReserved04)() override { return E_NOTIMPL; }
  STDMETHOD(SourceReserved05)() override { return E_NOTIMPL; }
  STDMETHOD(SourceReserved06)() override { return E_NOTIMPL; }
  STDMETHOD(GetString)(LONG index, BSTR* text) override {
    if (!text) return E_POINTER;
    *text = nullptr;
    if (!m_module || index != 0) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
    *text = SysAllocString(m_strings.caption.c_str());
    return *text ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHOD(SourceReserved08)() override { return E_NOTIMPL; }
  STDMETHOD(LoadModule)(BSTR, BSTR module) override {
    m_module = m_strings.hasStrings && module && std::wstring(module) == L"Vellisto";
    return m_module ? S_OK : HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  }

 private:
  ULONG m_refs = 0;
  const Strings& m_strings;  // borrowed: the factory's
  bool m_module = false;     // LoadModule found the module
};

class Factory : public IClassFactory {
 public:
  explicit Factory(Strings strings) : m_strings(std::move(strings)) {}
  virtual ~Factory() = default;

  STDMETHOD(QueryInterface)(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!InlineIsEqualGUID(iid, IID_IUnknown) && !InlineIsEqualGUID(iid, IID_IClassFactory))
      return E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
  STDMETHOD_(ULONG, Release)() override {
    const ULONG count = --m_refs;
    if (count == 0) delete this;
    return count;
  }
  STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    Source* source = new (std::nothrow) Source(m_strings);
    if (!source) return E_OUTOFMEMORY;
    source->AddRef();
    const HRESULT hr = source->QueryInterface(iid, out);
    source->Release();
    return hr;
  }
  STDMETHOD(LockServer)(BOOL) override { return S_OK; }

 private:
  ULONG m_refs = 0;
  Strings m_strings;
};

}  // namespace

HostStringSource::HostStringSource(std::wstring caption, bool hasStrings) {
  Strings strings;
  strings.caption = std::move(caption);
  strings.hasStrings = hasStrings;
  m_factory = new Factory(std::move(strings));
  m_factory->AddRef();
  m_registration = CoRegisterClassObject(CLSID_KivStringSource, m_factory, CLSCTX_INPROC_SERVER,
                                         REGCLS_MULTIPLEUSE, &m_cookie);
}

HostStringSource::~HostStringSource() {
  if (SUCCEEDED(m_registration)) CoRevokeClassObject(m_cookie);
  m_factory->Release();
}
