#include "ProxyStub.h"

#include <rpcproxy.h>

#include "Vellisto.h"

/* The one proxy file that widl generated. */
EXTERN_PROXY_FILE(Vellisto)

static const ProxyFileInfo* proxyFileList[] = {&Vellisto_ProxyFileInfo, 0};

/* The proxy factory buffer: its reference count tells the runtime whether
   proxies or stubs of this layer are alive. */
static CStdPSFactoryBuffer psFactory = {0, 0, 0, 0};

static HINSTANCE proxyStubModule; /* borrowed: this library's module */

/* The stubs' Release, as the generated stub tables expect it. */
ULONG STDMETHODCALLTYPE CStdStubBuffer_Release(IRpcStubBuffer* This) {
  return NdrCStdStubBuffer_Release(This, (IPSFactoryBuffer*)&psFactory);
}

void ProxyStubSetModule(HINSTANCE instance) { proxyStubModule = instance; }

HRESULT ProxyStubGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  return NdrDllGetClassObject(clsid, iid, out, proxyFileList, &CLSID_VellistoProxyStub, &psFactory);
}

HRESULT ProxyStubCanUnloadNow(void) { return NdrDllCanUnloadNow(&psFactory); }

HRESULT ProxyStubRegister(void) {
  return NdrDllRegisterProxy(proxyStubModule, proxyFileList, &CLSID_VellistoProxyStub);
}

HRESULT ProxyStubUnregister(void) {
  return NdrDllUnregisterProxy(proxyStubModule, proxyFileList, &CLSID_VellistoProxyStub);
}
