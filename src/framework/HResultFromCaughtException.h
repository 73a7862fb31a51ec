// The one place where an exception becomes a result code. Every boundary
// that the host or the system calls (host-facing methods, the exports,
// window procedures, registration) catches everything and asks this.
#pragma once

#include <windows.h>

// Call only inside a catch handler. Running out of memory gives
// E_OUTOFMEMORY; anything else gives otherwise (E_FAIL unless the
// boundary's contract names another code).
HRESULT HResultFromCaughtException(HRESULT otherwise = E_FAIL) noexcept;
