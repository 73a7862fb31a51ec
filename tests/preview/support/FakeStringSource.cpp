#include "FakeStringSource.h"

#include "LocalComObject.h"

namespace {

class FakeSource : public LocalComObject<IKivStringSource, IRunnableObject> {
 public:
  FakeSource(StringSourceScript* script, StringSourceLog* log) : m_script(script), m_log(log) {
    ++m_log->created;
    ++m_log->alive;
  }
  ~FakeSource() override { --m_log->alive; }

  // IUnknown
  STDMETHOD(QueryInterface)(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (InlineIsEqualGUID(iid, IID_IUnknown) ||
        (InlineIsEqualGUID(iid, IID_IKivStringSource) && m_script->answersInterface))
      return Answer(static_cast<IKivStringSource*>(this), out);
    if (InlineIsEqualGUID(iid, IID_IRunnableObject))
      return Answer(static_cast<IRunnableObject*>(this), out);
    return Answer(nullptr, out);
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

  StringSourceScript* m_script;  // borrowed: the test's
  StringSourceLog* m_log;        // borrowed: the test's
};

// What the fake's class object makes, as the script says.
ProcessClassObject::Create FakeMaker(StringSourceScript* script, StringSourceLog* log) {
  return [script, log](REFIID iid, void** out) {
    if (!script->creatable) return E_OUTOFMEMORY;
    if (script->succeedWithNull) return S_OK;
    IKivStringSource* source = new FakeSource(script, log);
    return ProcessClassObject::QueryNewObject(source, iid, out);
  };
}

}  // namespace

ComPtr<IClassFactory> NewStringSourceFactory(StringSourceScript* script, StringSourceLog* log) {
  return ProcessClassObject::NewFactory(FakeMaker(script, log));
}

RegisteredStringSource::RegisteredStringSource()
    : m_classObject(CLSID_KivStringSource, FakeMaker(&m_script, &m_log)) {}
