// What Vellisto.dll carries for registration: the scripts under language
// 1053, naming the identifiers the IDL gives (so a changed GUID cannot
// leave a script behind), the type library, and the version resource.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "Handles.h"
#include "VellistoDll.h"

namespace {

std::string Text(const GUID& guid) {
  wchar_t wide[40];
  StringFromGUID2(guid, wide, 40);
  return std::string(wide, wide + 38);
}

class ResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_module.reset(LoadLibraryExW(VellistoDll::Path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(m_module);
  }

  std::string Script(UINT id) const {
    HRSRC found =
        FindResourceExW(m_module.get(), L"REGISTRY", MAKEINTRESOURCEW(id), MAKELANGID(0x1D, 0x01));
    if (!found) return std::string();
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(m_module.get(), found)));
    return std::string(bytes, SizeofResource(m_module.get(), found));
  }

  UniqueModule m_module;  // loaded as data
};

TEST_F(ResourcesTest, EachScriptNamesItsClassTheLibraryAndNothingElse) {
  struct Expected {
    UINT id;
    const GUID* clsid;
    const char* name;
    const char* model;
  };
  const Expected classes[] = {{102, &CLSID_TvdFormat, "TvdFormat", "Both"},
                              {103, &CLSID_TvdFile, "TvdFile", "Apartment"},
                              {104, &CLSID_TvdPreview, "TvdPreview", "Apartment"}};
  for (const Expected& c : classes) {
    const std::string script = Script(c.id);
    ASSERT_FALSE(script.empty()) << c.id;
    std::set<std::string> guids;
    for (size_t brace = script.find('{'); brace != std::string::npos;
         brace = script.find('{', brace + 1))
      if (brace + 38 <= script.size() && script[brace + 37] == '}')
        guids.insert(script.substr(brace, 38));
    EXPECT_EQ((std::set<std::string>{Text(*c.clsid), Text(LIBID_VELLISTOLib)}), guids) << c.name;
    EXPECT_NE(std::string::npos,
              script.find("Vellisto." + std::string(c.name) + ".1 = s '" + c.name + " Class'"));
    EXPECT_NE(std::string::npos, script.find(std::string("ThreadingModel = s '") + c.model + "'"));
    EXPECT_NE(std::string::npos, script.find("'%MODULE%'"));
  }
}

TEST_F(ResourcesTest, TypeLibraryIsResourceOne) {
  EXPECT_NE(nullptr, FindResourceExW(m_module.get(), L"TYPELIB", MAKEINTRESOURCEW(1),
                                     MAKELANGID(0x1D, 0x01)));
}

TEST(VersionResourceTest, AnnouncesSelfRegistrationInEnglishUnicode) {
  const std::wstring path = VellistoDll::Path();
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::string data(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, &data[0]));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);
  EXPECT_EQ(static_cast<DWORD>(MAKELONG(VELLISTO_VERSION_MINOR, VELLISTO_VERSION_MAJOR)),
            fixed->dwFileVersionMS);
  EXPECT_EQ(static_cast<DWORD>(MAKELONG(0, VELLISTO_VERSION_PATCH)), fixed->dwFileVersionLS);

  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(4u, length);
  EXPECT_EQ(0x409, translation[0]);
  EXPECT_EQ(1200, translation[1]);

  wchar_t* value = nullptr;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\StringFileInfo\\040904B0\\OLESelfRegister",
                             reinterpret_cast<void**>(&value), &length));
  EXPECT_TRUE(length == 0 || value[0] == L'\0');
}

}  // namespace
