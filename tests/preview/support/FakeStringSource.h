// A stand-in for the host's string component, scriptable and recording: what
// LoadModule and GetString return, the text GetString gives (null allowed),
// whether the object can be created, run or asked for its interface, and
// which slots were called with which arguments. The test process makes it
// creatable for the library's CoCreateInstance with CoRegisterClassObject.
#pragma once

#include "KivHost.h"

#include <ole2.h>

#include <string>
#include <vector>

struct StringSourceScript {
  bool creatable = true;          // the class object's CreateInstance succeeds
  bool succeedWithNull = false;   // CreateInstance says S_OK and gives no object
  bool runnable = true;           // IRunnableObject::Run succeeds
  bool answersInterface = true;   // QueryInterface(IKivStringSource) succeeds
  HRESULT loadModuleResult = S_OK;
  HRESULT getStringResult = S_OK;
  bool nullText = false;           // GetString gives a null BSTR
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
  ~RegisteredStringSource();
  RegisteredStringSource(const RegisteredStringSource&) = delete;
  RegisteredStringSource& operator=(const RegisteredStringSource&) = delete;

  bool registered() const { return m_cookie != 0; }
  StringSourceScript script;
  StringSourceLog log;

 private:
  IClassFactory* m_factory = nullptr;  // owned reference
  DWORD m_cookie = 0;
};

// The class object alone (for an in-process server of the fake).
IClassFactory* NewStringSourceFactory(StringSourceScript* script, StringSourceLog* log);
