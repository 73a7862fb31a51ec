#include "RegistryScript.h"

#include "CComModule.h"
#include "CRegObject.h"
#include "SystemRegistry.h"

#include <string>

namespace {

// The platform registrar's answer to a script it cannot read.
constexpr HRESULT kScriptFault = DISP_E_EXCEPTION;

std::u16string Utf16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

std::u16string DoubleQuotes(const std::wstring& text) {
  std::u16string out;
  for (wchar_t c : text) {
    out += static_cast<char16_t>(c);
    if (c == L'\'') out += u'\'';
  }
  return out;
}

// The text of one "REGISTRY" resource of the library (ASCII or UTF-8),
// up to its end or its first NUL.
HRESULT LoadScript(HINSTANCE instance, UINT resourceId, std::u16string& script) {
  HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(resourceId), L"REGISTRY");
  if (!found) return HRESULT_FROM_WIN32(GetLastError());
  HGLOBAL loaded = LoadResource(instance, found);  // resources are not freed
  const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (!bytes) return HRESULT_FROM_WIN32(GetLastError());
  int size = static_cast<int>(SizeofResource(instance, found));
  for (int i = 0; i < size; ++i)
    if (bytes[i] == '\0') size = i;
  script.clear();
  if (size == 0) return S_OK;
  const int length = MultiByteToWideChar(CP_UTF8, 0, bytes, size, nullptr, 0);
  if (length <= 0) return kScriptFault;
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes, size, &wide[0], length);
  script = Utf16(wide);
  return S_OK;
}

}  // namespace

bool NamesAnotherModule(const std::wstring& key, HINSTANCE module) {
  std::wstring path;
  if (FAILED(CComModule::ModulePath(module, path))) return false;
  SystemRegistry classes(HKEY_CLASSES_ROOT, std::wstring());
  RegValue value;
  if (classes.GetValue(Utf16(key), u"", value) != kRegSuccess) return false;
  if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) return false;
  std::wstring named(reinterpret_cast<const wchar_t*>(value.bytes.data()),
                     value.bytes.size() / sizeof(wchar_t));
  named.resize(wcsnlen(named.c_str(), named.size()));
  return CompareStringOrdinal(named.c_str(), -1, path.c_str(), -1, TRUE) != CSTR_EQUAL;
}

HRESULT RunRegistryScript(HINSTANCE module, UINT resourceId, REFCLSID clsid, BOOL doRegister) {
  if (!doRegister) {
    wchar_t text[40];
    StringFromGUID2(clsid, text, 40);
    if (NamesAnotherModule(std::wstring(L"CLSID\\") + text + L"\\InprocServer32", module))
      return S_OK;
  }
  SystemRegistry classes(HKEY_CLASSES_ROOT, std::wstring());
  CRegObject registrar(classes);
  registrar.AddReplacement(u"APPID", u"");
  std::wstring path;
  HRESULT hr = CComModule::ModulePath(module, path);
  if (FAILED(hr)) return hr;
  // The script quotes the path; a quote in it is written twice there. The
  // library is not the process's program, so no double quotes around it.
  registrar.AddReplacement(u"Module", DoubleQuotes(path));
  registrar.AddReplacement(u"Module_Raw", DoubleQuotes(path));
  std::u16string script;
  if (FAILED(hr = LoadScript(module, resourceId, script))) return hr;
  const RegResult result = registrar.RunScript(script, doRegister != FALSE);
  if (result.ok()) return S_OK;
  if (result.fault == RegFault::Registry) return HRESULT_FROM_WIN32(result.systemError);
  return kScriptFault;
}
