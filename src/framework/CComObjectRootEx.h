// The root of every component class: the reference count, or while the
// object is part of an aggregate the outer object's unknown, and the hooks
// that the object forms (CComObject, CComAggObject, CComObjectCached) call.
//
// A component class T derives from CComObjectRootEx<ThreadModel>, from
// CComCoClass<T, &clsid> and from its interfaces, and provides
//   HRESULT InternalQueryInterface(REFIID iid, void** out);
// which answers from the class's own interfaces and adds the reference
// through the returned interface (so that it reaches the right identity).
// T never implements IUnknown's three methods: the object forms do.
#pragma once

#include "ComThreadModel.h"

#include <climits>

class CComObjectRootBase {
 public:
  // The count while an object is being destroyed: AddRef/Release pairs made
  // by code that runs during destruction cannot reach 0 again.
  static constexpr LONG kDestroyingRefCount = -(LONG_MAX / 2);  // 0xC0000001

  CComObjectRootBase() : m_refCount(0) {}

  // Construction steps that can fail, and the matching clean-up.
  HRESULT FinalConstruct() { return S_OK; }
  void FinalRelease() {}
  // The stand-alone form holds a temporary reference around FinalConstruct.
  void InternalFinalConstructAddRef() {}
  void InternalFinalConstructRelease() {}
  // The creator's argument; only class objects use it.
  void SetVoid(void*) {}
  // The object map's start and end hook of the class.
  static void WINAPI ObjectMain(bool /*starting*/) {}

  ULONG OuterAddRef() { return m_outer->AddRef(); }
  ULONG OuterRelease() { return m_outer->Release(); }
  HRESULT OuterQueryInterface(REFIID iid, void** out) { return m_outer->QueryInterface(iid, out); }

 protected:
  union {
    LONG m_refCount;    // stand-alone and cached forms
    IUnknown* m_outer;  // borrowed: the aggregate's controlling unknown (contained form)
  };
};

template <class ThreadModel>
class CComObjectRootEx : public CComObjectRootBase {
 public:
  typedef ThreadModel _ThreadModel;

  ULONG InternalAddRef() { return ThreadModel::Increment(&m_refCount); }
  ULONG InternalRelease() { return ThreadModel::Decrement(&m_refCount); }
};
