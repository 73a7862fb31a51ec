#include "FakeStringSource.h"

namespace {

class FakeSource : public IKivStringSource, public IRunnableObject {
 public:
  FakeSource(StringSourceScript* script, StringSourceLog* log) : m_script(script), m_log(log) {
    ++m_log->created;
    ++m_log->alive;
  }
  virtual ~FakeSource() { --m_log->alive; }

  // IUnknown
  STDMETHOD(QueryInterface)(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (InlineIsEqualGUID(iid, IID_IUnknown))
      *out = static_cast<IKivStringSource*>(this);
    else if (InlineIsEqualGUID(iid, IID_IKivStringSource) && m_script->answersInterface)
      *out = static_cast<IKivStringSource*>(this);
    else if (InlineIsEqualGUID(iid, IID_IRunnableObject))
      *out = static_cast<IRunnableObject*>(this);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
  STDMETHOD_(ULONG, Release)() override {
    const ULONG count = --m_refs;
    if (count == 0) delete this;
    return count;
  }

  // IKivStringSource
  STDMETHOD(SourceReserved03)() override { return Called(3); }
  STDMETHOD(SourceReserved04)() override { return Called(4); }
  STDMETHOD(SourceReserved05)() override { return Called(5); }
  STDMETHOD(SourceReserved06)() override { return Called(6); }
  STDMETHOD(GetString)(LONG index, BSTR* text) override {
    Called(7);
    m_log->getStringIndexes.push_back(index);
    *text = m_script->nullText ? nullptr : SysAllocString(m_script->text.c_str());
    return m_script->getStringResult;
  }
  STDMETHOD(SourceReserved08)() override { return Called(8); }
  STDMETHOD(LoadModule)(BSTR application, BSTR module) override {
    Called(9);
    m_log->loadModuleArgs.push_back(application ? application : L"");
    m_log->loadModuleArgs.push_back(module ? module : L"");
    return m_script->loadModuleResult;
  }

  // IRunnableObject
  STDMETHOD(GetRunningClass)(CLSID* clsid) override {
    *clsid = CLSID_KivStringSource;
    return S_OK;
  }
  STDMETHOD(Run)(LPBINDCTX) override {
    ++m_log->runCalls;
    return m_script->runnable ? S_OK : E_FAIL;
  }
  STDMETHOD_(BOOL, IsRunning)() override { return m_log->runCalls > 0; }
  STDMETHOD(LockRunning)(BOOL, BOOL) override { return S_OK; }
  STDMETHOD(SetContainedObject)(BOOL) override { return S_OK; }

 private:
  HRESULT Called(int slot) {
    m_log->slots.push_back(slot);
    return S_OK;
  }

  ULONG m_refs = 0;
  StringSourceScript* m_script;  // borrowed: the test's
  StringSourceLog* m_log;        // borrowed: the test's
};

class FakeFactory : public IClassFactory {
 public:
  FakeFactory(StringSourceScript* script, StringSourceLog* log) : m_script(script), m_log(log) {}
  virtual ~FakeFactory() = default;

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
    if (!m_script->creatable) return E_OUTOFMEMORY;
    if (m_script->succeedWithNull) return S_OK;
    FakeSource* source = new FakeSource(m_script, m_log);
    source->AddRef();
    const HRESULT hr = source->QueryInterface(iid, out);
    source->Release();
    return hr;
  }
  STDMETHOD(LockServer)(BOOL) override { return S_OK; }

 private:
  ULONG m_refs = 0;
  StringSourceScript* m_script;  // borrowed
  StringSourceLog* m_log;        // borrowed
};

}  // namespace

IClassFactory* NewStringSourceFactory(StringSourceScript* script, StringSourceLog* log) {
  IClassFactory* factory = new FakeFactory(script, log);
  factory->AddRef();
  return factory;
}

RegisteredStringSource::RegisteredStringSource() {
  m_factory = NewStringSourceFactory(&script, &log);
  if (FAILED(CoRegisterClassObject(CLSID_KivStringSource, m_factory, CLSCTX_INPROC_SERVER,
                                   REGCLS_MULTIPLEUSE, &m_cookie)))
    m_cookie = 0;
}

RegisteredStringSource::~RegisteredStringSource() {
  if (m_cookie) CoRevokeClassObject(m_cookie);
  m_factory->Release();
}
