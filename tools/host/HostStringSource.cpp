#include "HostStringSource.h"

#include "LocalComObject.h"

#include <memory>
#include <new>

namespace {

// Shared by the class object and every object it makes.
struct Strings {
  std::wstring caption;
  bool hasStrings;
};

class Source : public LocalComObject<IKivStringSource> {
 public:
  explicit Source(std::shared_ptr<const Strings> strings) : m_strings(std::move(strings)) {}

  STDMETHOD(QueryInterface)(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    const bool known =
        InlineIsEqualGUID(iid, IID_IUnknown) || InlineIsEqualGUID(iid, IID_IKivStringSource);
    return Answer(known ? this : nullptr, out);
  }

  STDMETHOD(SourceReserved03)() override { return E_NOTIMPL; }
  STDMETHOD(SourceReserved04)() override { return E_NOTIMPL; }
  STDMETHOD(SourceReserved05)() override { return E_NOTIMPL; }
  STDMETHOD(SourceReserved06)() override { return E_NOTIMPL; }
  STDMETHOD(GetString)(LONG index, BSTR* text) override {
    if (!text) return E_POINTER;
    *text = nullptr;
    if (!m_module || index != 0) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
    *text = SysAllocString(m_strings->caption.c_str());
    return *text ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHOD(SourceReserved08)() override { return E_NOTIMPL; }
  STDMETHOD(LoadModule)(BSTR, BSTR module) override {
    m_module = m_strings->hasStrings && module && std::wstring(module) == L"Vellisto";
    return m_module ? S_OK : HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  }

 private:
  std::shared_ptr<const Strings> m_strings;  // shared with the class object
  bool m_module = false;                     // LoadModule found the module
};

ProcessClassObject::Create SourceMaker(std::wstring caption, bool hasStrings) {
  auto strings = std::make_shared<const Strings>(Strings{std::move(caption), hasStrings});
  return [strings](REFIID iid, void** out) {
    return ProcessClassObject::QueryNewObject(new (std::nothrow) Source(strings), iid, out);
  };
}

}  // namespace

HostStringSource::HostStringSource(std::wstring caption, bool hasStrings)
    : m_classObject(CLSID_KivStringSource, SourceMaker(std::move(caption), hasStrings)) {}
