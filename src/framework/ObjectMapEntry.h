// One entry of the object map: a creatable class, its creators and its
// cached class object. The map is an array ended by an entry without clsid.
#pragma once

#include "CComCreator.h"

#include <atomic>

// The function pointers and clsid point at constants of the library (borrowed).
struct ObjectMapEntry {
  const CLSID* clsid;
  HRESULT(WINAPI* updateRegistry)(BOOL doRegister);  // runs the class's registration script
  CreatorFunc createClassObject;                     // arg: createInstance
  CreatorFunc createInstance;                        // arg: the outer unknown or null
  std::atomic<IUnknown*> classObject;  // owned: one reference while the module is initialised
  DWORD registerCookie;                // always 0: never registered in a class table
  const wchar_t*(WINAPI* objectDescription)();
  const void*(WINAPI* categoryMap)();
  void(WINAPI* objectMain)(bool starting);
};
