#include "Records.h"

#include "Var.h"

Records::Records(size_t count) : m_records(count) {
  for (ValueRecord& r : m_records) {
    r = ValueRecord();
    VariantInit(&r.value);
  }
}

Records::~Records() {
  for (ValueRecord& r : m_records) {
    SysFreeString(r.attribName);
    SysFreeString(r.blockName);
    VariantClear(&r.value);
  }
}

void Records::Name(size_t i, const wchar_t* block, const wchar_t* attrib) {
  ValueRecord& r = m_records[i];
  SysFreeString(r.blockName);
  SysFreeString(r.attribName);
  r.blockName = block ? SysAllocString(block) : nullptr;
  r.attribName = attrib ? SysAllocString(attrib) : nullptr;
}

void Records::SetInt(size_t i, LONG value) { Var::I4(m_records[i].value, value); }

void Records::SetReal(size_t i, double value) { Var::R8(m_records[i].value, value); }

void Records::SetDate(size_t i, double value) { Var::Date(m_records[i].value, value); }

void Records::SetText(size_t i, const wchar_t* text) { Var::Text(m_records[i].value, text); }

std::wstring TextOf(const VARIANT& value) {
  if (V_VT(&value) != VT_BSTR) return L"<vt " + std::to_wstring(V_VT(&value)) + L">";
  return V_BSTR(&value) ? V_BSTR(&value) : L"";
}
