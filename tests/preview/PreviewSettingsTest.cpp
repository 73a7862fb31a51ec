// Where the preview's font, icon and caption come from, and what it shows
// when a source is missing: every row of the failure table, and the faults
// that must not happen (a planted library, a cut-off path, stack garbage in
// the font record, OleRun on nothing).
#include "ImportHook.h"
#include "MappedFiles.h"
#include "PreviewHost.h"
#include "ProgramFolder.h"
#include "TestBitmapData.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const wchar_t kMetricsKey[] = L"Control Panel\\Desktop\\WindowMetrics";

// What the hooked font calls of the library saw.
struct FontCalls {
  bool failIndirect = false;
  int indirect = 0;
  LOGFONTW lastIndirect = {};
  int direct = 0;
  int height = 0, weight = 0;
  DWORD charset = 0;
  std::wstring face;
} g_fonts;

HFONT WINAPI HookedCreateFontIndirectW(const LOGFONTW* font) {
  ++g_fonts.indirect;
  g_fonts.lastIndirect = *font;
  return g_fonts.failIndirect ? nullptr : CreateFontIndirectW(font);
}

HFONT WINAPI HookedCreateFontW(int height, int width, int escapement, int orientation, int weight,
                               DWORD italic, DWORD underline, DWORD strikeOut, DWORD charset,
                               DWORD precision, DWORD clip, DWORD quality, DWORD pitch,
                               const wchar_t* face) {
  ++g_fonts.direct;
  g_fonts.height = height;
  g_fonts.weight = weight;
  g_fonts.charset = charset;
  g_fonts.face = face ? face : L"";
  return CreateFontW(height, width, escapement, orientation, weight, italic, underline, strikeOut,
                     charset, precision, clip, quality, pitch, face);
}

class PreviewSettingsTest : public PreviewTest {
 protected:
  // Creates, shows and paints a 200 x 100 preview of part.tvd and reads it back.
  Capture Painted() {
    ComPtr<IKivFilePreview> preview = NewPreview({10, 10, 210, 110});
    if (!preview) return Capture();
    ShowAndPaint(preview.get(), L"part.tvd");
    return CaptureClient(PreviewWindow());
  }
  ::testing::AssertionResult ShowsCaption(const std::wstring& caption) {
    return SamePixels(Painted(), ExpectedPreview(200, 100, kBitmap8, caption, L"part.tvd"));
  }
  bool HasIcon() { return !AllWhite(Painted()); }
  static std::wstring WithoutTrailingBackslash(std::wstring folder) {
    folder.pop_back();
    return folder;
  }
  // The cache maps the library as an image resource: a view of the file.
  static bool ResourceLibraryLoaded() { return IsMapped(L"KivRes.dll"); }
};

// The font

TEST_F(PreviewSettingsTest, WithoutIconFontTheTextIsInTheDCsDefaultFont) {
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kMetricsKey, L"IconFont");
  EXPECT_TRUE(SamePixels(
      Painted(), ExpectedPreview(200, 100, kBitmap8, L"Virtual document", L"part.tvd", nullptr)));
  // A value longer than a LOGFONTW cannot be read either.
  std::vector<BYTE> tooLong(93, 0);
  SetBinary(HKEY_CURRENT_USER, kMetricsKey, L"IconFont", tooLong.data(), DWORD(tooLong.size()));
  EXPECT_TRUE(SamePixels(
      Painted(), ExpectedPreview(200, 100, kBitmap8, L"Virtual document", L"part.tvd", nullptr)));
}

TEST_F(PreviewSettingsTest, AShortIconFontReachesTheSystemZeroFilled) {
  LOGFONTW font = {};
  font.lfHeight = -11;
  const DWORD shortSize = offsetof(LOGFONTW, lfFaceName) + 6;  // "MS" and no more
  std::memcpy(font.lfFaceName, L"MS", 6);
  SetBinary(HKEY_CURRENT_USER, kMetricsKey, L"IconFont", &font, shortSize);
  g_fonts = FontCalls();
  ImportHook hook("gdi32.dll", "CreateFontIndirectW",
                  reinterpret_cast<void*>(&HookedCreateFontIndirectW), m_dll.module());
  ASSERT_TRUE(hook.installed());
  ComPtr<IKivFilePreview> preview = NewPreview();
  ASSERT_EQ(1, g_fonts.indirect);
  const BYTE* bytes = reinterpret_cast<const BYTE*>(&g_fonts.lastIndirect);
  EXPECT_EQ(-11, g_fonts.lastIndirect.lfHeight);
  for (size_t i = shortSize; i < sizeof(LOGFONTW); ++i) EXPECT_EQ(0, bytes[i]) << "byte " << i;
}

TEST_F(PreviewSettingsTest, AnIconFontThatMakesNoFontFallsBackToMsSansSerif) {
  g_fonts = FontCalls();
  g_fonts.failIndirect = true;
  ImportHook indirect("gdi32.dll", "CreateFontIndirectW",
                      reinterpret_cast<void*>(&HookedCreateFontIndirectW), m_dll.module());
  ImportHook direct("gdi32.dll", "CreateFontW", reinterpret_cast<void*>(&HookedCreateFontW),
                    m_dll.module());
  ASSERT_TRUE(indirect.installed() && direct.installed());
  ComPtr<IKivFilePreview> preview = NewPreview();
  EXPECT_EQ(1, g_fonts.indirect);
  ASSERT_EQ(1, g_fonts.direct);
  EXPECT_EQ(8, g_fonts.height);
  EXPECT_EQ(FW_NORMAL, g_fonts.weight);
  EXPECT_EQ(DWORD(DEFAULT_CHARSET), g_fonts.charset);
  EXPECT_EQ(L"MS Sans Serif", g_fonts.face);
}

// The icon

TEST_F(PreviewSettingsTest, TheIconNeedsTheHostKeyAndAStringLocation) {
  EXPECT_TRUE(HasIcon());
  DeleteTree(HKEY_LOCAL_MACHINE, kHostKey);
  EXPECT_FALSE(HasIcon()) << "no host key";
  SetString(HKEY_LOCAL_MACHINE, kHostKey, nullptr, L"Quilmoor");
  EXPECT_FALSE(HasIcon()) << "no Location";
  SetDword(HKEY_LOCAL_MACHINE, kHostKey, L"Location", 7);
  EXPECT_FALSE(HasIcon()) << "Location as a number";
}

TEST_F(PreviewSettingsTest, ALocationWithOrWithoutItsBackslashNamesTheSameLibrary) {
  SetLocation(WithoutTrailingBackslash(ResourceFolder()));
  EXPECT_TRUE(HasIcon());
  EXPECT_TRUE(IsMapped(ResourceFolder() + L"KivRes.dll"));
}

TEST_F(PreviewSettingsTest, AnExpandableLocationIsExpanded) {
  SetEnvironmentVariableW(L"VELLISTO_TEST_RESOURCES",
                          WithoutTrailingBackslash(ResourceFolder()).c_str());
  SetLocation(L"%VELLISTO_TEST_RESOURCES%", REG_EXPAND_SZ);
  EXPECT_TRUE(HasIcon());
  SetEnvironmentVariableW(L"VELLISTO_TEST_RESOURCES", nullptr);
}

TEST_F(PreviewSettingsTest, AMissingLibraryOrBitmapGivesNoIcon) {
  SetLocation(L"C:\\no\\such\\folder");
  EXPECT_FALSE(HasIcon());
  SetLocation(No208ResourceFolder());
  EXPECT_FALSE(HasIcon());
  EXPECT_TRUE(ResourceLibraryLoaded()) << "the library without the bitmap stays cached";
}

// The host's resource library is mapped for its bitmaps, never run: code of
// its own (here a DllMain that marks the environment) stays out of the host.
TEST_F(PreviewSettingsTest, TheResourceLibrarysOwnCodeNeverRuns) {
  SetEnvironmentVariableW(L"VELLISTO_RESOURCE_CODE_RAN", nullptr);
  SetLocation(ProgramFolder() + L"code");
  EXPECT_TRUE(ShowsCaption(L"Virtual document"));
  EXPECT_TRUE(IsMapped(ProgramFolder() + L"code\\KivRes.dll"));
  EXPECT_EQ(0u, GetEnvironmentVariableW(L"VELLISTO_RESOURCE_CODE_RAN", nullptr, 0))
      << "the library's DllMain ran";
}

TEST_F(PreviewSettingsTest, APlantedLibraryInTheCurrentFolderIsNeverLoaded) {
  // The test's own current folder holds a "KivRes.dll" with a bitmap 208.
  wchar_t temp[MAX_PATH] = {}, previous[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring planted =
      std::wstring(temp) + L"vellisto-planted-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(planted.c_str(), nullptr);
  ASSERT_TRUE(CopyFileW((ResourceFolder() + L"KivRes.dll").c_str(),
                        (planted + L"\\KivRes.dll").c_str(), FALSE));
  GetCurrentDirectoryW(MAX_PATH, previous);
  SetCurrentDirectoryW(planted.c_str());
  for (const wchar_t* location : {L"", L".", L"res", L"C:", L"\\\\", L"C:KivRes"}) {
    SetLocation(location);
    EXPECT_FALSE(HasIcon()) << "Location '" << std::string(location, location + wcslen(location))
                            << "'";
    EXPECT_FALSE(ResourceLibraryLoaded());
  }
  SetCurrentDirectoryW(previous);
  DeleteFileW((planted + L"\\KivRes.dll").c_str());
  RemoveDirectoryW(planted.c_str());
}

TEST_F(PreviewSettingsTest, ALocationTooLongForThePathGivesNoIconNeverACutOffPath) {
  // Padded with "\." steps (and one "\odd\.." for an odd length), so that
  // the folder still names the real one; no trailing backslash.
  const std::wstring base = WithoutTrailingBackslash(ResourceFolder());
  auto padded = [&](size_t pathLength) {
    const size_t folderLength = pathLength - 11;  // a backslash and "KivRes.dll" follow
    std::wstring folder = base;
    if ((folderLength - folder.size()) % 2) folder += L"\\odd\\..";
    while (folder.size() < folderLength) folder += L"\\.";
    return folder;
  };
  ASSERT_EQ(size_t(MAX_PATH - 11), padded(MAX_PATH).size());
  SetLocation(padded(MAX_PATH));  // one more than fits: never cut to "...\KivRes.dl"
  EXPECT_FALSE(HasIcon());
  EXPECT_FALSE(ResourceLibraryLoaded());
  SetLocation(padded(MAX_PATH - 1));  // the path and its zero fill MAX_PATH exactly
  EXPECT_TRUE(HasIcon());
}

// The caption

TEST_F(PreviewSettingsTest, TheCaptionIsTextZeroOfTheModulesStrings) {
  m_strings->script().text = L"Tavorin virtual document";
  EXPECT_TRUE(ShowsCaption(L"Tavorin virtual document"));
  ASSERT_EQ(2u, m_strings->log().loadModuleArgs.size());
  EXPECT_EQ(L"FERROLANTH PDM", m_strings->log().loadModuleArgs[0]);
  EXPECT_EQ(L"Vellisto", m_strings->log().loadModuleArgs[1]);
  EXPECT_EQ(std::vector<LONG>{0}, m_strings->log().getStringIndexes);
  EXPECT_EQ((std::vector<int>{9, 7}), m_strings->log().slots);
  EXPECT_EQ(1, m_strings->log().runCalls);
  EXPECT_EQ(0, m_strings->log().alive) << "the component is released when the window is made";
}

TEST_F(PreviewSettingsTest, AComponentThatCannotBeCreatedRunOrQueriedGivesAnEmptyCaption) {
  for (int fault = 0; fault < 4; ++fault) {
    SCOPED_TRACE(fault);
    m_strings->script() = StringSourceScript();
    m_strings->script().creatable = fault != 0;
    m_strings->script().succeedWithNull = fault == 1;  // OleRun must not see a null object
    m_strings->script().runnable = fault != 2;
    m_strings->script().answersInterface = fault != 3;
    m_strings->log() = StringSourceLog();
    EXPECT_TRUE(ShowsCaption(L""));
    EXPECT_TRUE(m_strings->log().slots.empty());
    EXPECT_EQ(0, m_strings->log().alive);
  }
  m_strings.reset();  // not registered at all
  EXPECT_TRUE(ShowsCaption(L""));
}

TEST_F(PreviewSettingsTest, AFailingLoadModuleOrGetStringGivesTheProductNameCaption) {
  m_strings->script().loadModuleResult = E_FAIL;
  EXPECT_TRUE(ShowsCaption(L"FERROLANTH PDM Virtual File"));
  EXPECT_EQ(std::vector<int>{9}, m_strings->log().slots) << "GetString is skipped";
  m_strings->script() = StringSourceScript();
  m_strings->script().getStringResult = E_UNEXPECTED;
  EXPECT_TRUE(ShowsCaption(L"FERROLANTH PDM Virtual File"));
  // A failure code other than a negative one is no failure.
  m_strings->script().getStringResult = S_FALSE;
  EXPECT_TRUE(ShowsCaption(L"Virtual document"));
}

TEST_F(PreviewSettingsTest, ANullTextGivesAnEmptyCaption) {
  m_strings->script().nullText = true;
  EXPECT_TRUE(ShowsCaption(L""));
}

TEST_F(PreviewSettingsTest, TheProductNameComesFromTheMachineThenTheUserThenTheDefault) {
  m_strings->script().loadModuleResult = E_FAIL;
  SetString(HKEY_CURRENT_USER, kHostKey, nullptr, L"User Quilmoor");
  EXPECT_TRUE(ShowsCaption(L"User Quilmoor Virtual File"));
  SetString(HKEY_LOCAL_MACHINE, kHostKey, nullptr, L"Quilmoor Enterprise");
  EXPECT_TRUE(ShowsCaption(L"Quilmoor Enterprise Virtual File"));
  SetString(HKEY_LOCAL_MACHINE, kHostKey, nullptr, L"");
  EXPECT_TRUE(ShowsCaption(L"User Quilmoor Virtual File")) << "an empty machine value is missing";
  SetString(HKEY_LOCAL_MACHINE, kHostKey, nullptr, L"Expanded %OS%", REG_EXPAND_SZ);
  SetString(HKEY_CURRENT_USER, kHostKey, nullptr, L"Plain %OS%", REG_EXPAND_SZ);
  EXPECT_TRUE(ShowsCaption(L"FERROLANTH PDM Virtual File")) << "expandable values do not count";
}

}  // namespace

namespace {

// The component as the host installs it: an in-process server found through
// the registry (HKCR lands in HKLM\Software\Classes), not a class object of
// this process.
TEST_F(PreviewSettingsTest, TheCaptionComesFromARegisteredInProcessServer) {
  m_strings.reset();
  const std::wstring key =
      L"Software\\Classes\\CLSID\\{C952BB52-1360-43CF-9CA5-7FFBA3DD4BC0}\\InprocServer32";
  const std::wstring server = ProgramFolder() + L"KivStrings.dll";
  SetString(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, server);
  SetString(HKEY_LOCAL_MACHINE, key.c_str(), L"ThreadingModel", L"Apartment");
  EXPECT_TRUE(ShowsCaption(L"From the registered server"));
  DeleteTree(HKEY_LOCAL_MACHINE,
             L"Software\\Classes\\CLSID\\{C952BB52-1360-43CF-9CA5-7FFBA3DD4BC0}");
}

}  // namespace
