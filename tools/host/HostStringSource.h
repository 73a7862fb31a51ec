// The reference host's string component: the texts it has for plugins. It
// knows one module, "Vellisto", with one text, the preview caption; with no
// strings at all, LoadModule fails and the plugin falls back to its own
// caption. Registered for this process only, while the object lives.
#pragma once

#include "KivHost.h"
#include "ProcessClassObject.h"

#include <string>

class HostStringSource {
 public:
  // caption: text 0 of module "Vellisto"; hasStrings false: LoadModule fails.
  HostStringSource(std::wstring caption, bool hasStrings);

  // The HRESULT of CoRegisterClassObject.
  HRESULT registration() const { return m_classObject.registration(); }

 private:
  ProcessClassObject m_classObject;
};
