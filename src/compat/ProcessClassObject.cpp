#include "ProcessClassObject.h"

#include "LocalComObject.h"

#include <new>
#include <utility>

namespace {

class FunctionFactory : public LocalComObject<IClassFactory> {
 public:
  explicit FunctionFactory(ProcessClassObject::Create create) : m_create(std::move(create)) {}

  STDMETHOD(QueryInterface)(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    const bool known =
        InlineIsEqualGUID(iid, IID_IUnknown) || InlineIsEqualGUID(iid, IID_IClassFactory);
    return Answer(known ? static_cast<IClassFactory*>(this) : nullptr, out);
  }
  STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
      return m_create(iid, out);
    } catch (...) {
      return E_OUTOFMEMORY;  // the only thing a creating function throws here
    }
  }
  STDMETHOD(LockServer)(BOOL) override { return S_OK; }

 private:
  ProcessClassObject::Create m_create;
};

}  // namespace

ComPtr<IClassFactory> ProcessClassObject::NewFactory(Create create) {
  ComPtr<IClassFactory> factory(new (std::nothrow) FunctionFactory(std::move(create)));
  if (factory) factory->AddRef();
  return factory;
}

HRESULT ProcessClassObject::QueryNewObject(IUnknown* object, REFIID iid, void** out) {
  if (!object) return E_OUTOFMEMORY;
  object->AddRef();
  const ComPtr<IUnknown> held(
      object);  // the object goes with it unless the query takes a reference
  return held->QueryInterface(iid, out);
}

ProcessClassObject::ProcessClassObject(const CLSID& clsid, Create create)
    : m_factory(NewFactory(std::move(create))) {
  m_registration = m_factory ? CoRegisterClassObject(clsid, m_factory.get(), CLSCTX_INPROC_SERVER,
                                                     REGCLS_MULTIPLEUSE, &m_cookie)
                             : E_OUTOFMEMORY;
}

ProcessClassObject::~ProcessClassObject() {
  if (SUCCEEDED(m_registration)) CoRevokeClassObject(m_cookie);
}
