#include "CTvdFile.h"

#include "HostCall.h"
#include "MapStatus.h"
#include "ModuleStateGuard.h"

namespace {

// Not-supported slots that first insist on their pointer arguments.
HRESULT NotImplUnlessNull(const void* p) { return p ? E_NOTIMPL : E_POINTER; }
HRESULT NotImplUnlessNull(const void* p, const void* q) { return p && q ? E_NOTIMPL : E_POINTER; }

}  // namespace

CTvdFile::~CTvdFile() {
  // The document's blocks go inside the guard; the empty shell after it.
  ModuleStateGuard guard;
  m_document.Clear();
}

HRESULT CTvdFile::InternalQueryInterface(REFIID iid, void** out) {
  IUnknown* found = nullptr;
  if (InlineIsEqualGUID(iid, IID_IUnknown) || InlineIsEqualGUID(iid, IID_ITvdFile))
    found = static_cast<ITvdFile*>(this);
  else if (InlineIsEqualGUID(iid, IID_IKivFileNavigator))
    found = static_cast<IKivFileNavigator*>(this);
  if (!found) return E_NOINTERFACE;
  found->AddRef();
  *out = found;
  return S_OK;
}

DocStatus CTvdFile::Load(const OLECHAR* path) { return m_document.Load(path); }

// IKivFileNavigator

HRESULT CTvdFile::NavReserved03(LONG, void* p2, void* p3) {
  ModuleStateGuard guard;
  return NotImplUnlessNull(p2, p3);
}

HRESULT CTvdFile::NavReserved04(LONG, LONG, LONG) {
  ModuleStateGuard guard;
  return E_NOTIMPL;
}

HRESULT CTvdFile::NavReserved05(void* p1) {
  ModuleStateGuard guard;
  return NotImplUnlessNull(p1);
}

HRESULT CTvdFile::NavReserved06(void* p1, LONG, LONG, LONG, LONG) {
  ModuleStateGuard guard;
  return NotImplUnlessNull(p1);
}

HRESULT CTvdFile::NavReserved07(LONG, LONG, void* p3, void* p4) {
  ModuleStateGuard guard;
  return NotImplUnlessNull(p3, p4);
}

HRESULT CTvdFile::NavReserved08(LONG, LONG, void* p3, void* p4) {
  ModuleStateGuard guard;
  return NotImplUnlessNull(p3, p4);
}

HRESULT CTvdFile::SetValues(LONG, LONG, LONG, LONG count, ValueRecord* records, LONG) {
  return GuardedHostCall([&]() -> HRESULT {
    if (!records) return E_POINTER;
    for (LONG i = 0; i < count; ++i) {
      ValueRecord& record = records[i];
      // found tells the host which values were stored.
      record.found =
          m_document.SetValue(record.blockName, record.attribName, &record.value) ? 1 : 0;
    }
    return S_OK;
  });
}

HRESULT CTvdFile::GetValues(LONG, LONG stopAtFirst, LONG, LONG count, ValueRecord* records) {
  return GuardedHostCall([&]() -> HRESULT {
    if (!records) return E_POINTER;
    for (LONG i = 0; i < count; ++i) {
      ValueRecord& record = records[i];
      m_document.GetValue(record.blockName, record.attribName, &record.value);
      if (V_VT(&record.value) == VT_EMPTY) {
        record.found = 0;
        continue;
      }
      record.found = 1;
      if (stopAtFirst) break;  // later records stay exactly as the host passed them
    }
    return S_OK;
  });
}

HRESULT CTvdFile::NavReserved11(void* p1, void* p2) {
  ModuleStateGuard guard;
  return NotImplUnlessNull(p1, p2);
}

HRESULT CTvdFile::NavReserved12(LONG, LONG, void* p3) {
  ModuleStateGuard guard;
  return NotImplUnlessNull(p3);
}

HRESULT CTvdFile::NavReserved13(LONG, void* p2, void* p3, LONG, LONG) {
  ModuleStateGuard guard;
  return NotImplUnlessNull(p2, p3);
}

HRESULT CTvdFile::NavReserved14(LONG, LONG, LONG, LONG, LONG, LONG) {
  ModuleStateGuard guard;
  return E_NOTIMPL;
}

HRESULT CTvdFile::Save() {
  return GuardedHostCall([&] { return MapStatus(m_document.Save()); });
}

HRESULT CTvdFile::NavReserved16(LONG) {
  ModuleStateGuard guard;
  return E_NOTIMPL;
}

// Slots 17 to 22 answer with their constant and take no guard.

HRESULT CTvdFile::NavReserved17(LONG, LONG, LONG, LONG, LONG) { return E_NOTIMPL; }

HRESULT CTvdFile::NavReserved18(LONG) { return E_NOTIMPL; }

HRESULT CTvdFile::NavReserved19(LONG, LONG) { return S_OK; }

HRESULT CTvdFile::NavReserved20(LONG, LONG, LONG, LONG) { return S_OK; }

HRESULT CTvdFile::NavReserved21(LONG) { return E_NOTIMPL; }

HRESULT CTvdFile::NavReserved22(LONG, LONG, LONG, LONG, LONG) { return E_NOTIMPL; }
