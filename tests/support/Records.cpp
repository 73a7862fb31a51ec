#include "Records.h"

#include "Var.h"

Records::Records(size_t count) : records_(count) {
  for (ValueRecord& r : records_) {
    r = ValueRecord();
    VariantInit(&r.value);
  }
}

Records::~Records() {
  for (ValueRecord& r : records_) {
    SysFreeString(r.attribName);
    SysFreeString(r.blockName);
    VariantClear(&r.value);
  }
}

void Records::Name(size_t i, const wchar_t* block, const wchar_t* attrib) {
  ValueRecord& r = records_[i];
  SysFreeString(r.blockName);
  SysFreeString(r.attribName);
  r.blockName = block ? SysAllocString(block) : nullptr;
  r.attribName = attrib ? SysAllocString(attrib) : nullptr;
}

void Records::SetInt(size_t i, LONG value) { Var::I4(records_[i].value, value); }

void Records::SetReal(size_t i, double value) { Var::R8(records_[i].value, value); }

void Records::SetDate(size_t i, double value) { Var::Date(records_[i].value, value); }

void Records::SetText(size_t i, const wchar_t* text) { Var::Text(records_[i].value, text); }

std::wstring TextOf(const VARIANT& value) {
  if (V_VT(&value) != VT_BSTR) return L"<vt " + std::to_wstring(V_VT(&value)) + L">";
  return V_BSTR(&value) ? V_BSTR(&value) : L"";
}
