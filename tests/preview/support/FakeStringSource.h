// A stand-in for the host's string component, scriptable and recording: what
// LoadModule and GetString return, the text GetString gives (null allowed),
// whether the object can be created, run or asked for its interface, and
// which slots were called with which arguments. The test process makes it
// creatable for the library's CoCreateInstance with CoRegisterClassObject.
#pragma once

#include "KivHost.h"
#include "ProcessClassObject.h"

#include <ole2.h>

#include <string>
#include <vector>

struct StringSourceScript {
  bool creatable = true;         // the class object's CreateInstance succeeds
  bool succeedWithNull = false;  // CreateInstance says S_OK and gives no object
  bool runnable = true;          // IRunnableObject::Run succeeds
  bool answersInterface = true;  // QueryInterface(IKivStringSource) succeeds
  HRESULT loadModuleResult = S_OK;
  HRESULT getStringResult = S_OK;
  bool nullText = false;  // GetString gives a null BSTR
  std::wstring text = L"Virtual document";
};

struct StringSourceLog {
  std::vector<int> slots;  // vtable slots called, in order (IUnknown's not counted)
  std::vector<std::wstring> loadModuleArgs;  // application, module, per call
  std::vector<LONG> getStringIndexes;
  int runCalls = 0;
  int created = 0;
  int alive = 0;  // objects not yet destroyed
};

// Registers the fake's class object under CLSID_KivStringSource for the
// process while it lives (multiple use, in-process).
class RegisteredStringSource {
 public:
  RegisteredStringSource();

  bool registered() const { return SUCCEEDED(m_classObject.registration()); }
  // What the fake answers (the test sets it) and what it saw.
  StringSourceScript& script() { return m_script; }
  StringSourceLog& log() { return m_log; }

 private:
  StringSourceScript m_script;
  StringSourceLog m_log;
  ProcessClassObject m_classObject;  // after the script and log it uses
};

// The class object alone (for an in-process server of the fake).
ComPtr<IClassFactory> NewStringSourceFactory(StringSourceScript* script, StringSourceLog* log);
