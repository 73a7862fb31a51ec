// The file navigator: reads and writes the values of one opened virtual
// document in batches of the host's ValueRecords. Bound to the apartment
// that created it; holds a module lock while it lives (its object form does).
#pragma once

#include "CComCoClass.h"
#include "CComObjectRootEx.h"
#include "KivHost.h"
#include "Vellisto.h"
#include "VirtualDocument.h"

class CTvdFile : public CComObjectRootEx<CComSingleThreadModel>,
                 public CComCoClass<CTvdFile, &CLSID_TvdFile>,
                 public ITvdFile,
                 public IKivFileNavigator {
 public:
  static constexpr UINT kRegistryScript = 103;

  CTvdFile() = default;
  ~CTvdFile();

  HRESULT InternalQueryInterface(REFIID iid, void** out);

  // Reads the document at path; the format object calls it once, right
  // after creating the navigator, inside its own guarded call.
  DocStatus Load(const OLECHAR* path);

  // IKivFileNavigator
  STDMETHOD(NavReserved03)(LONG unused1, void* p2, void* p3) override;
  STDMETHOD(NavReserved04)(LONG unused1, LONG unused2, LONG unused3) override;
  STDMETHOD(NavReserved05)(void* p1) override;
  STDMETHOD(NavReserved06)
  (void* p1, LONG unused2, LONG unused3, LONG unused4, LONG unused5) override;
  STDMETHOD(NavReserved07)(LONG unused1, LONG unused2, void* p3, void* p4) override;
  STDMETHOD(NavReserved08)(LONG unused1, LONG unused2, void* p3, void* p4) override;
  STDMETHOD(SetValues)
  (LONG unused1, LONG unused2, LONG unused3, LONG count, ValueRecord* records,
   LONG unused6) override;
  STDMETHOD(GetValues)
  (LONG unused1, LONG stopAtFirst, LONG unused3, LONG count, ValueRecord* records) override;
  STDMETHOD(NavReserved11)(void* p1, void* p2) override;
  STDMETHOD(NavReserved12)(LONG unused1, LONG unused2, void* p3) override;
  STDMETHOD(NavReserved13)(LONG unused1, void* p2, void* p3, LONG unused4, LONG unused5) override;
  STDMETHOD(NavReserved14)
  (LONG unused1, LONG unused2, LONG unused3, LONG unused4, LONG unused5, LONG unused6) override;
  STDMETHOD(Save)() override;
  STDMETHOD(NavReserved16)(LONG unused1) override;
  STDMETHOD(NavReserved17)
  (LONG unused1, LONG unused2, LONG unused3, LONG unused4, LONG unused5) override;
  STDMETHOD(NavReserved18)(LONG unused1) override;
  STDMETHOD(NavReserved19)(LONG unused1, LONG unused2) override;
  STDMETHOD(NavReserved20)(LONG unused1, LONG unused2, LONG unused3, LONG unused4) override;
  STDMETHOD(NavReserved21)(LONG unused1) override;
  STDMETHOD(NavReserved22)
  (LONG unused1, LONG unused2, LONG unused3, LONG unused4, LONG unused5) override;

 private:
  VirtualDocument m_document;  // owned: the opened document, for the object's whole life
};
