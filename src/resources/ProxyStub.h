// The merged proxy/stub layer of ITvdFormat, ITvdFile and ITvdPreview: the
// system's proxy runtime driven by the tables that widl generates from
// Vellisto.idl. Implemented in C (the runtime's header is C only).
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// The module whose file the proxy/stub registration names; set at attach.
void ProxyStubSetModule(HINSTANCE instance);
// S_OK only for the proxy/stub class (CLSID_VellistoProxyStub).
HRESULT ProxyStubGetClassObject(REFCLSID clsid, REFIID iid, void** out);
// S_OK when no proxy or stub made by this layer is alive.
HRESULT ProxyStubCanUnloadNow(void);
HRESULT ProxyStubRegister(void);
HRESULT ProxyStubUnregister(void);

#ifdef __cplusplus
}
#endif
