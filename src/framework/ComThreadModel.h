// How an object's reference count changes: plainly for objects bound to one
// apartment, by interlocked operations for objects any thread may call.
#pragma once

#include <windows.h>

struct CComSingleThreadModel {
  static ULONG Increment(LONG* count) { return static_cast<ULONG>(++*count); }
  static ULONG Decrement(LONG* count) { return static_cast<ULONG>(--*count); }
};

// Interlocked counts and no lock of the object's own.
struct CComMultiThreadModelNoCS {
  static ULONG Increment(LONG* count) { return static_cast<ULONG>(InterlockedIncrement(count)); }
  static ULONG Decrement(LONG* count) { return static_cast<ULONG>(InterlockedDecrement(count)); }
};

// The model of objects registered "Both". Our objects of that kind keep no
// mutable state, so they need no lock either.
struct CComMultiThreadModel : CComMultiThreadModelNoCS {};
