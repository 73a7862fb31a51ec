// Our registrar against the platform's own (Wine's atl.dll, registered in
// every prefix), used only as a reference at run time: the same scripts,
// over the same stale entries, must leave the real classes root the same.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CRegObject.h"
#include "ComPtr.h"
#include "Handles.h"
#include "RegistryLines.h"
#include "Scripts.h"
#include "SystemRegistry.h"

// The platform registrar's interface, as its IDL declares it. Outside the
// unnamed namespace: with no class of the program deriving from it there,
// the compiler would take every call through it for unreachable.
struct IRegistrar : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AddReplacement(LPCOLESTR key, LPCOLESTR item) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearReplacements() = 0;
  virtual HRESULT STDMETHODCALLTYPE ResourceRegisterSz(LPCOLESTR file, LPCOLESTR id,
                                                       LPCOLESTR type) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResourceUnregisterSz(LPCOLESTR file, LPCOLESTR id,
                                                         LPCOLESTR type) = 0;
  virtual HRESULT STDMETHODCALLTYPE FileRegister(LPCOLESTR file) = 0;
  virtual HRESULT STDMETHODCALLTYPE FileUnregister(LPCOLESTR file) = 0;
  virtual HRESULT STDMETHODCALLTYPE StringRegister(LPCOLESTR data) = 0;
  virtual HRESULT STDMETHODCALLTYPE StringUnregister(LPCOLESTR data) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResourceRegister(LPCOLESTR file, UINT id, LPCOLESTR type) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResourceUnregister(LPCOLESTR file, UINT id, LPCOLESTR type) = 0;
};

namespace {

const CLSID kClsidRegistrar = {
    0x44EC053A, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};
const IID kIidRegistrar = {
    0x44EC053B, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};

const wchar_t kModule[] = L"C:\\Program Files\\Bob''s Tools\\Vellisto.dll";  // quote doubled

struct Class {
  const char16_t* script;
  const wchar_t* name;
  const wchar_t* clsid;
};
const Class kClasses[] = {
    {kTvdFormatScript, L"Vellisto.TvdFormat", L"{0DBA1310-FA65-417E-8FE7-6EC23235CBB4}"},
    {kTvdFileScript, L"Vellisto.TvdFile", L"{1E4DAE0B-CEB9-4ECE-9CC4-CEA69C1D3519}"},
    {kTvdPreviewScript, L"Vellisto.TvdPreview", L"{8EA2DA0F-38F3-41AF-AB0E-C2604717A2F8}"},
};

class ReferenceRegistrarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_EQ(S_OK, CoCreateInstance(kClsidRegistrar, nullptr, CLSCTX_INPROC_SERVER, kIidRegistrar,
                                     m_reference.put_void()));
  }
  void TearDown() override {
    for (const Class& c : kClasses) Clean(c);
    m_reference.Reset();
    CoUninitialize();
  }

  static std::vector<std::wstring> Paths(const Class& c) {
    return {c.name, std::wstring(c.name) + L".1", std::wstring(L"CLSID\\") + c.clsid};
  }
  static void Clean(const Class& c) {
    for (const std::wstring& path : Paths(c)) RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  }
  // Stale entries under both kinds of key, and a key a careless removal would take.
  static void Seed(const Class& c) {
    for (const std::wstring& path : {std::wstring(c.name) + L"\\Stale",
                                     std::wstring(L"CLSID\\") + c.clsid + L"\\Stale\\Deeper",
                                     std::wstring(c.name) + L".1\\CLSID\\Stale"}) {
      HKEY raw = nullptr;
      ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0,
                                               KEY_WRITE, nullptr, &raw, nullptr));
      const UniqueKey key(raw);
    }
  }
  static std::vector<std::string> Content(const Class& c) {
    std::vector<std::string> lines;
    for (const std::wstring& path : Paths(c)) {
      const std::vector<std::string> below = SubtreeLines(HKEY_CLASSES_ROOT, path);
      lines.insert(lines.end(), below.begin(), below.end());
    }
    return lines;
  }

  ComPtr<IRegistrar> m_reference;
};

TEST_F(ReferenceRegistrarTest, BothRegistrarsLeaveTheSameRegistry) {
  SystemRegistry classes(HKEY_CLASSES_ROOT, std::wstring());
  ASSERT_EQ(S_OK, m_reference->AddReplacement(L"MODULE", kModule));
  for (const Class& c : kClasses) {
    const std::wstring script(reinterpret_cast<const wchar_t*>(c.script));
    Seed(c);
    ASSERT_EQ(S_OK, m_reference->StringRegister(script.c_str()));
    const std::vector<std::string> referenceRegistered = Content(c);
    ASSERT_EQ(S_OK, m_reference->StringUnregister(script.c_str()));
    const std::vector<std::string> referenceRemoved = Content(c);
    Clean(c);

    Seed(c);
    CRegObject ours(classes);
    ours.AddReplacement(u"Module", reinterpret_cast<const char16_t*>(kModule));
    ASSERT_TRUE(ours.RunScript(c.script, true).ok());
    EXPECT_EQ(referenceRegistered, Content(c));
    ASSERT_TRUE(ours.RunScript(c.script, false).ok());
    EXPECT_EQ(referenceRemoved, Content(c));
    EXPECT_FALSE(referenceRemoved.empty()) << "the stale entries keep the ProgID keys";
  }
}

}  // namespace
