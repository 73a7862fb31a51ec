// A class object of the process's own: CoCreateInstance of its CLSID finds
// it while the owner lives (CoRegisterClassObject, in-process, multiple
// use; revoked when the owner goes). Its objects come from a function
// (Windows only).
#pragma once

#include "ComPtr.h"

#include <functional>

class ProcessClassObject {
 public:
  // Makes an object and answers iid for it into out (cleared already);
  // aggregation is refused before it is called.
  using Create = std::function<HRESULT(REFIID iid, void** out)>;

  ProcessClassObject(const CLSID& clsid, Create create);
  ~ProcessClassObject();
  ProcessClassObject(const ProcessClassObject&) = delete;
  ProcessClassObject& operator=(const ProcessClassObject&) = delete;

  // The answer of CoRegisterClassObject (E_OUTOFMEMORY when the class
  // object could not be made).
  HRESULT registration() const { return m_registration; }

  // The class object alone, not registered (for an in-process server's
  // DllGetClassObject); null when memory runs out.
  static ComPtr<IClassFactory> NewFactory(Create create);
  // Hands a new object's first reference to its QueryInterface: the object
  // is gone again if that fails; E_OUTOFMEMORY for a null object.
  static HRESULT QueryNewObject(IUnknown* object, REFIID iid, void** out);

 private:
  ComPtr<IClassFactory> m_factory;
  DWORD m_cookie = 0;
  HRESULT m_registration = E_FAIL;
};
