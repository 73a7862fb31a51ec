// Self-registration through the platform's tool (regsvr32, in a process of
// its own) and through the exports, read back from the real registry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DllFixture.h"
#include "Handles.h"
#include "RegistryLines.h"
#include "Regsvr32.h"
#include "TempFolder.h"
#include "VellistoDll.h"

namespace {

using Lines = std::vector<std::string>;

std::string Utf8(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring Text(const GUID& guid) {
  wchar_t wide[40];
  StringFromGUID2(guid, wide, 40);
  return wide;
}

const wchar_t kHostKey[] = L"Software\\Ferrolanth\\Applications\\Quilmoor Enterprise";

// Everything of the library's below the classes root, sorted.
Lines OurEntries() {
  std::vector<std::wstring> paths;
  for (const wchar_t* name : {L"Vellisto.TvdFormat", L"Vellisto.TvdFile", L"Vellisto.TvdPreview"}) {
    paths.push_back(name);
    paths.push_back(std::wstring(name) + L".1");
  }
  for (const GUID* clsid :
       {&CLSID_TvdFormat, &CLSID_TvdFile, &CLSID_TvdPreview, &CLSID_VellistoProxyStub})
    paths.push_back(L"CLSID\\" + Text(*clsid));
  for (const GUID* iid : {&IID_ITvdFormat, &IID_ITvdFile, &IID_ITvdPreview})
    paths.push_back(L"Interface\\" + Text(*iid));
  paths.push_back(L"TypeLib\\" + Text(LIBID_VELLISTOLib));
  Lines lines;
  for (const std::wstring& path : paths) {
    const Lines below = SubtreeLines(HKEY_CLASSES_ROOT, path);
    lines.insert(lines.end(), below.begin(), below.end());
  }
  return lines;
}

// The rows one class's script writes, for the library at path.
Lines ClassRows(const std::string& name, const GUID& clsid, const std::string& model,
                const std::wstring& path) {
  const std::string c = "CLSID\\" + Utf8(Text(clsid));
  const std::string progId = "Vellisto." + name;
  const std::string title = name + " Class";
  return {progId,
          progId + "\\CLSID",
          progId + "\\CLSID\\[]=" + Utf8(Text(clsid)),
          progId + "\\CurVer",
          progId + "\\CurVer\\[]=" + progId + ".1",
          progId + "\\[]=" + title,
          progId + ".1",
          progId + ".1\\CLSID",
          progId + ".1\\CLSID\\[]=" + Utf8(Text(clsid)),
          progId + ".1\\[]=" + title,
          c,
          c + "\\InprocServer32",
          c + "\\InprocServer32\\[ThreadingModel]=" + model,
          c + "\\InprocServer32\\[]=" + Utf8(path),
          c + "\\ProgID",
          c + "\\ProgID\\[]=" + progId + ".1",
          c + "\\TypeLib",
          c + "\\TypeLib\\[]=" + Utf8(Text(LIBID_VELLISTOLib)),
          c + "\\VersionIndependentProgID",
          c + "\\VersionIndependentProgID\\[]=" + progId,
          c + "\\[]=" + title};
}

Lines Only(const Lines& lines, const std::vector<std::string>& prefixes) {
  Lines kept;
  for (const std::string& line : lines)
    for (const std::string& prefix : prefixes)
      if (line == prefix || line.compare(0, prefix.size() + 1, prefix + "\\") == 0) {
        kept.push_back(line);
        break;
      }
  return kept;
}

bool Contains(const Lines& lines, const std::string& line) {
  for (const std::string& l : lines)
    if (l == line) return true;
  return false;
}

void CreateKey(HKEY root, const std::wstring& path, const wchar_t* name = nullptr,
               const wchar_t* data = nullptr) {
  HKEY raw = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &raw, nullptr));
  const UniqueKey key(raw);
  if (data)
    RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                   static_cast<DWORD>((wcslen(data) + 1) * sizeof(wchar_t)));
}

// Whether the library serves the class (the preview class joins the map later).
bool Serves(const GUID& clsid) {
  VellistoDll dll;
  ComPtr<IClassFactory> factory;
  return dll.GetClassObject(clsid, IID_IClassFactory, factory.put_void()) == S_OK;
}

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(m_apartment.result()));
    ASSERT_EQ(Lines(), OurEntries()) << "an earlier test left entries behind";
  }
  void TearDown() override {
    Regsvr32(m_dll, true);
    EXPECT_EQ(Lines(), OurEntries());
  }
  ComApartment m_apartment{COINIT_APARTMENTTHREADED};
  std::wstring m_dll = VellistoDll::Path();
};

TEST_F(RegistrationTest, WritesEveryRowOfTheFormatAndFileClasses) {
  ASSERT_EQ(0u, Regsvr32(m_dll));
  const Lines lines = OurEntries();
  EXPECT_EQ(ClassRows("TvdFormat", CLSID_TvdFormat, "Both", m_dll),
            Only(lines, {"Vellisto.TvdFormat", "Vellisto.TvdFormat.1",
                         "CLSID\\" + Utf8(Text(CLSID_TvdFormat))}));
  EXPECT_EQ(ClassRows("TvdFile", CLSID_TvdFile, "Apartment", m_dll),
            Only(lines, {"Vellisto.TvdFile", "Vellisto.TvdFile.1",
                         "CLSID\\" + Utf8(Text(CLSID_TvdFile))}));
}

TEST_F(RegistrationTest, WritesEveryRowOfThePreviewClass) {
  if (!Serves(CLSID_TvdPreview)) GTEST_SKIP() << "the preview class is not in the object map yet";
  ASSERT_EQ(0u, Regsvr32(m_dll));
  EXPECT_EQ(ClassRows("TvdPreview", CLSID_TvdPreview, "Apartment", m_dll),
            Only(OurEntries(), {"Vellisto.TvdPreview", "Vellisto.TvdPreview.1",
                                "CLSID\\" + Utf8(Text(CLSID_TvdPreview))}));
}

TEST_F(RegistrationTest, RegistersTheTypeLibraryAndTheProxyStub) {
  ASSERT_EQ(0u, Regsvr32(m_dll));
  const Lines lines = OurEntries();
  const std::string lib = "TypeLib\\" + Utf8(Text(LIBID_VELLISTOLib));
  EXPECT_TRUE(
      Contains(lines, lib + "\\1.0\\409\\" + VellistoDll::kPlatform + "\\[]=" + Utf8(m_dll)));
  const std::string ps = Utf8(Text(CLSID_VellistoProxyStub));
  for (const GUID* iid : {&IID_ITvdFormat, &IID_ITvdFile, &IID_ITvdPreview})
    EXPECT_TRUE(Contains(lines, "Interface\\" + Utf8(Text(*iid)) + "\\ProxyStubClsid32\\[]=" + ps));
  EXPECT_TRUE(Contains(lines, "CLSID\\" + ps + "\\InProcServer32\\[]=" + Utf8(m_dll)));
}

TEST_F(RegistrationTest, RegisteringTwiceGivesTheSameEntries) {
  ASSERT_EQ(0u, Regsvr32(m_dll));
  const Lines once = OurEntries();
  ASSERT_EQ(0u, Regsvr32(m_dll));
  EXPECT_EQ(once, OurEntries());
}

TEST_F(RegistrationTest, StaleEntriesUnderTheClassKeyGoAndUnderTheProgIdStay) {
  const std::wstring own = L"CLSID\\" + Text(CLSID_TvdFormat);
  CreateKey(HKEY_CLASSES_ROOT, own + L"\\Stale");
  CreateKey(HKEY_CLASSES_ROOT, L"Vellisto.TvdFormat\\Stale", L"", L"mine");
  ASSERT_EQ(0u, Regsvr32(m_dll));
  Lines lines = OurEntries();
  EXPECT_FALSE(Contains(lines, Utf8(own) + "\\Stale"));
  EXPECT_TRUE(Contains(lines, "Vellisto.TvdFormat\\Stale\\[]=mine"));
  ASSERT_EQ(0u, Regsvr32(m_dll, true));
  lines = OurEntries();
  EXPECT_EQ((Lines{"Vellisto.TvdFormat", "Vellisto.TvdFormat\\Stale",
                   "Vellisto.TvdFormat\\Stale\\[]=mine", "Vellisto.TvdFormat\\[]=TvdFormat Class"}),
            lines);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Vellisto.TvdFormat");
}

TEST_F(RegistrationTest, RemovalLeavesNothingAndTheHostKeyIsNeverTouched) {
  CreateKey(HKEY_LOCAL_MACHINE, kHostKey, L"Location", L"C:\\Quilmoor\\");
  CreateKey(HKEY_LOCAL_MACHINE, std::wstring(kHostKey) + L"\\Plugins", L"", L"Vellisto.TvdFormat");
  const Lines host = RegistryLines(HKEY_LOCAL_MACHINE, kHostKey);
  ASSERT_EQ(0u, Regsvr32(m_dll));
  EXPECT_EQ(host, RegistryLines(HKEY_LOCAL_MACHINE, kHostKey));
  ASSERT_EQ(0u, Regsvr32(m_dll, true));
  EXPECT_EQ(Lines(), OurEntries());
  EXPECT_EQ(host, RegistryLines(HKEY_LOCAL_MACHINE, kHostKey));
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Ferrolanth");
}

TEST_F(RegistrationTest, RemovingAnUnregisteredLibraryGetsThroughTheScripts) {
  // The scripts skip what is missing; the answer is the type library's.
  const HRESULT typeLib = UnRegisterTypeLib(LIBID_VELLISTOLib, 1, 0, 0x409, SYS_WIN32);
  VellistoDll dll;
  ASSERT_TRUE(dll.loaded());
  EXPECT_EQ(typeLib, dll.UnregisterServer());
  EXPECT_EQ(Lines(), OurEntries());
}

TEST_F(RegistrationTest, ThroughTheExportsAsThroughTheTool) {
  ASSERT_EQ(0u, Regsvr32(m_dll));
  const Lines byTool = OurEntries();
  ASSERT_EQ(0u, Regsvr32(m_dll, true));
  {
    VellistoDll dll;
    ASSERT_EQ(S_OK, dll.RegisterServer());
  }
  EXPECT_EQ(byTool, OurEntries());
}

// A second copy of the library, somewhere else, that a user unregisters:
// the installed copy's classes, type library and proxy/stub stay whole.
TEST_F(RegistrationTest, RemovalByAnotherCopyLeavesTheInstalledCopysRegistration) {
  ASSERT_EQ(0u, Regsvr32(m_dll));
  const Lines installed = OurEntries();
  TempFolder dir;
  const std::wstring other = dir.File(L"Vellisto.dll");
  ASSERT_TRUE(CopyFileW(m_dll.c_str(), other.c_str(), TRUE));
  EXPECT_EQ(0u, Regsvr32(other, true));
  EXPECT_EQ(installed, OurEntries());
  // Its own registration it removes, whole.
  ASSERT_EQ(0u, Regsvr32(other));
  EXPECT_EQ(0u, Regsvr32(other, true));
  EXPECT_EQ(Lines(), OurEntries());
}

TEST_F(RegistrationTest, AFolderWithABlankAndAQuoteIsWrittenAsItIs) {
  TempFolder dir;
  const std::wstring folder = dir.File(L"Bob's tools");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  m_dll = folder + L"\\Vellisto.dll";
  ASSERT_TRUE(CopyFileW(VellistoDll::Path().c_str(), m_dll.c_str(), TRUE));
  ASSERT_EQ(0u, Regsvr32(m_dll));
  const Lines lines = OurEntries();
  EXPECT_EQ(ClassRows("TvdFile", CLSID_TvdFile, "Apartment", m_dll),
            Only(lines, {"Vellisto.TvdFile", "Vellisto.TvdFile.1",
                         "CLSID\\" + Utf8(Text(CLSID_TvdFile))}));
  EXPECT_TRUE(Contains(lines, "TypeLib\\" + Utf8(Text(LIBID_VELLISTOLib)) + "\\1.0\\409\\" +
                                  VellistoDll::kPlatform + "\\[]=" + Utf8(m_dll)));
  EXPECT_EQ(0u, Regsvr32(m_dll, true));
  EXPECT_EQ(Lines(), OurEntries());
}

// Refused before anything is written: an installed copy's registration stays
// as it was.
TEST_F(RegistrationTest, APathThatFillsTheWholeBufferIsRefused) {
  ASSERT_EQ(0u, Regsvr32(m_dll));
  const Lines installed = OurEntries();
  const std::wstring installedDll = m_dll;
  TempFolder dir;
  std::wstring folder = dir.path();
  while (folder.size() < MAX_PATH - 20) {
    folder += L"\\" + std::wstring(40, L'd');
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << GetLastError();
  }
  const size_t name = folder.size() + 6 < 264 ? 264 - folder.size() - 5 : 1;
  m_dll = folder + L"\\" + std::wstring(name, L'v') + L".dll";  // 264 characters or more
  ASSERT_TRUE(CopyFileW(VellistoDll::Path().c_str(), m_dll.c_str(), TRUE)) << GetLastError();
  {
    const UniqueModule dll(LoadLibraryW(m_dll.c_str()));
    if (!dll) GTEST_SKIP() << "the loader refuses a path this long, error " << GetLastError();
    typedef HRESULT(WINAPI * Export)();
    const auto registerServer = reinterpret_cast<Export>(
        reinterpret_cast<void*>(GetProcAddress(dll.get(), "DllRegisterServer")));
    const auto unregisterServer = reinterpret_cast<Export>(
        reinterpret_cast<void*>(GetProcAddress(dll.get(), "DllUnregisterServer")));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), registerServer());
    EXPECT_EQ(installed, OurEntries());
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), unregisterServer());
    EXPECT_EQ(installed, OurEntries());
  }
  ASSERT_EQ(0u, Regsvr32(installedDll, true));
  EXPECT_EQ(Lines(), OurEntries());
}

}  // namespace
