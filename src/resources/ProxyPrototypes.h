/* The proxy/stub tables that widl writes in C refer to the IUnknown proxy
   functions of the system's proxy runtime; MinGW's headers declare them for
   C++ only. Force-included into the generated C proxy file. */
#pragma once

#ifndef __cplusplus
#include <objbase.h>

HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown* This, REFIID riid,
                                                        void** ppvObject);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown* This);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown* This);
#endif
