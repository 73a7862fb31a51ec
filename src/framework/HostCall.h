// The boundary of a host-facing method: the library's module state is
// current for the call, and no exception gets out. Running out of memory
// becomes E_OUTOFMEMORY, anything else E_FAIL.
#pragma once

#include "HResultFromCaughtException.h"
#include "ModuleStateGuard.h"

template <class Body>
HRESULT GuardedHostCall(Body&& body) noexcept {
  ModuleStateGuard guard;
  try {
    return body();
  } catch (...) {
    return HResultFromCaughtException();
  }
}
