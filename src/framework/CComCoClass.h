// What the object map needs of a component class: its class identifier and
// its instance creator, which makes the stand-alone form, or the aggregate
// form when an outer unknown is given.
#pragma once

#include "CComAggObject.h"
#include "CComCreator.h"
#include "CComObject.h"

template <class T, const CLSID* Clsid>
class CComCoClass {
 public:
  static const CLSID& WINAPI GetObjectCLSID() { return *Clsid; }

  static HRESULT WINAPI CreateInstance(void* outer, REFIID iid, void** out) {
    if (outer) return CComCreator<CComAggObject<T>>::CreateInstance(outer, iid, out);
    return CComCreator<CComObject<T>>::CreateInstance(nullptr, iid, out);
  }
};
