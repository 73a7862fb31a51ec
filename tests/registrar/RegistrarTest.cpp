// The registrar applying the library's scripts, over the registry in memory
// and (under Wine) over the real one: the same expectations for both.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CRegObject.h"
#include "FaultyStore.h"
#include "Scripts.h"
#include "StoresUnderTest.h"

namespace {

using Lines = std::vector<std::string>;

const char kFormat[] = "{0DBA1310-FA65-417E-8FE7-6EC23235CBB4}";
// A module path with a quote, as the library passes it (the quote doubled).
const std::u16string kModule = u"C:\\Program Files\\Bob's\\Vellisto.dll";

std::u16string DoubleQuotes(const std::u16string& text) {
  std::u16string out;
  for (char16_t c : text) {
    out += c;
    if (c == u'\'') out += c;
  }
  return out;
}

template <class Store>
class RegistrarTest : public ::testing::Test {
 protected:
  RegResult Run(const std::u16string& script, bool doRegister, RegistryStore* store = nullptr,
                const std::u16string& module = kModule) {
    CRegObject registrar(store ? *store : m_store.store());
    registrar.AddReplacement(u"APPID", u"");
    registrar.AddReplacement(u"Module", DoubleQuotes(module));
    registrar.AddReplacement(u"Module_Raw", DoubleQuotes(module));
    return registrar.RunScript(script, doRegister);
  }
  void Seed(const std::u16string& path, const std::u16string& name = u"",
            const std::u16string& data = u"") {
    ASSERT_EQ(kRegSuccess, store().CreateKey(path));
    if (!data.empty()) {
      ASSERT_EQ(kRegSuccess, store().SetString(path, name, data));
    }
  }
  // Another class, a value beside ours, and the host's key: what must stay.
  void SeedNeighbours() {
    Seed(u"CLSID\\{00000000-1111-2222-3333-444444444444}", u"", u"Other Class");
    Seed(u"CLSID", u"Kept", u"yes");
    Seed(u"Software\\Ferrolanth\\Applications\\Quilmoor Enterprise", u"Location", u"C:\\Quilmoor");
  }
  RegistryStore& store() { return m_store.store(); }
  Lines Content() const { return m_store.Lines(); }

  Store m_store;
};

#ifdef _WIN32
using Stores = ::testing::Types<MemoryStore, RealStore>;
#else
using Stores = ::testing::Types<MemoryStore>;
#endif
class StoreNames {
 public:
  template <class T>
  static std::string GetName(int) {
    return T::kName;
  }
};
TYPED_TEST_SUITE(RegistrarTest, Stores, StoreNames);

TYPED_TEST(RegistrarTest, RegistersEveryRowOfTheFormatScript) {
  ASSERT_TRUE(this->Run(kTvdFormatScript, true).ok());
  const std::string c = std::string("CLSID\\") + kFormat;
  const Lines expected = {
      "CLSID",
      c,
      c + "\\InprocServer32",
      c + "\\InprocServer32\\[ThreadingModel]=Both",
      c + "\\InprocServer32\\[]=C:\\Program Files\\Bob's\\Vellisto.dll",
      c + "\\ProgID",
      c + "\\ProgID\\[]=Vellisto.TvdFormat.1",
      c + "\\TypeLib",
      c + "\\TypeLib\\[]={4D2C0CE8-2C54-4F07-9F84-1290E7697859}",
      c + "\\VersionIndependentProgID",
      c + "\\VersionIndependentProgID\\[]=Vellisto.TvdFormat",
      c + "\\[]=TvdFormat Class",
      "Vellisto.TvdFormat",
      "Vellisto.TvdFormat.1",
      "Vellisto.TvdFormat.1\\CLSID",
      std::string("Vellisto.TvdFormat.1\\CLSID\\[]=") + kFormat,
      "Vellisto.TvdFormat.1\\[]=TvdFormat Class",
      "Vellisto.TvdFormat\\CLSID",
      std::string("Vellisto.TvdFormat\\CLSID\\[]=") + kFormat,
      "Vellisto.TvdFormat\\CurVer",
      "Vellisto.TvdFormat\\CurVer\\[]=Vellisto.TvdFormat.1",
      "Vellisto.TvdFormat\\[]=TvdFormat Class",
  };
  EXPECT_EQ(expected, this->Content());
}

TYPED_TEST(RegistrarTest, RegisteringTwiceGivesTheSameContentAndRemovalLeavesTheNeighbours) {
  this->SeedNeighbours();
  const Lines before = this->Content();
  for (const char16_t* script : {kTvdFormatScript, kTvdFileScript, kTvdPreviewScript})
    ASSERT_TRUE(this->Run(script, true).ok());
  const Lines once = this->Content();
  for (const char16_t* script : {kTvdFormatScript, kTvdFileScript, kTvdPreviewScript})
    ASSERT_TRUE(this->Run(script, true).ok());
  EXPECT_EQ(once, this->Content());
  for (const char16_t* script : {kTvdFormatScript, kTvdFileScript, kTvdPreviewScript})
    ASSERT_TRUE(this->Run(script, false).ok());
  EXPECT_EQ(before, this->Content());
}

TYPED_TEST(RegistrarTest, ForceRemoveRebuildsTheClassKey) {
  const std::u16string own = u"CLSID\\{0DBA1310-FA65-417E-8FE7-6EC23235CBB4}";
  this->Seed(own + u"\\Stale\\Deeper", u"x", u"y");
  this->Seed(own, u"StaleValue", u"old");
  this->Seed(own + u"\\InprocServer32", u"", u"C:\\old\\Vellisto.dll");
  ASSERT_TRUE(this->Run(kTvdFormatScript, true).ok());
  for (const std::string& line : this->Content()) {
    EXPECT_EQ(std::string::npos, line.find("Stale")) << line;
    EXPECT_EQ(std::string::npos, line.find("old")) << line;
  }
}

TYPED_TEST(RegistrarTest, StaleSubkeyUnderTheProgIdSurvivesBothWays) {
  this->Seed(u"Vellisto.TvdFormat\\Stale", u"", u"mine");
  ASSERT_TRUE(this->Run(kTvdFormatScript, true).ok());
  ASSERT_TRUE(this->Run(kTvdFormatScript, false).ok());
  // The key stays for its unlisted subkey, with its own (unlisted) default value.
  const Lines expected = {"CLSID", "Vellisto.TvdFormat", "Vellisto.TvdFormat\\Stale",
                          "Vellisto.TvdFormat\\Stale\\[]=mine",
                          "Vellisto.TvdFormat\\[]=TvdFormat Class"};
  EXPECT_EQ(expected, this->Content());
}

TYPED_TEST(RegistrarTest, ListedNamedValueGoesEvenWhenItsKeyStays) {
  ASSERT_TRUE(this->Run(kTvdFileScript, true).ok());
  const std::u16string server = u"CLSID\\{1E4DAE0B-CEB9-4ECE-9CC4-CEA69C1D3519}\\InprocServer32";
  this->Seed(server + u"\\Extra");
  ASSERT_TRUE(this->Run(kTvdFileScript, false).ok());
  const std::string s = "CLSID\\{1E4DAE0B-CEB9-4ECE-9CC4-CEA69C1D3519}";
  const Lines expected = {"CLSID",
                          s,
                          s + "\\InprocServer32",
                          s + "\\InprocServer32\\Extra",
                          s + "\\InprocServer32\\[]=C:\\Program Files\\Bob's\\Vellisto.dll",
                          s + "\\[]=TvdFile Class"};
  EXPECT_EQ(expected, this->Content());
}

TYPED_TEST(RegistrarTest, RemovingWhatIsNotThereSucceedsAndWritesNothing) {
  this->SeedNeighbours();
  const Lines before = this->Content();
  FaultyStore counting(this->store());
  EXPECT_TRUE(this->Run(kTvdFormatScript, false, &counting).ok());
  EXPECT_EQ(before, this->Content());
  // Nothing of ours exists, so the only write is none at all.
  EXPECT_EQ(0, counting.writes());
  // And on a registry without even the CLSID key.
  EXPECT_TRUE(this->Run(kTvdFileScript, false).ok());
}

TYPED_TEST(RegistrarTest, AFailedRegistrationAtAnyWriteLeavesTheRegistryAsItWas) {
  this->SeedNeighbours();
  const Lines before = this->Content();
  FaultyStore counting(this->store());
  ASSERT_TRUE(this->Run(kTvdPreviewScript, true, &counting).ok());
  const int writes = counting.writes();
  ASSERT_GT(writes, 10);
  ASSERT_TRUE(this->Run(kTvdPreviewScript, false).ok());
  ASSERT_EQ(before, this->Content());
  for (int failAt = 0; failAt < writes; ++failAt) {
    FaultyStore failing(this->store(), failAt);
    const RegResult result = this->Run(kTvdPreviewScript, true, &failing);
    EXPECT_EQ(RegFault::Registry, result.fault) << failAt;
    EXPECT_EQ(kRegAccessDenied, result.systemError) << failAt;
    EXPECT_EQ(before, this->Content()) << "write " << failAt << " failed: " << result.message;
  }
}

// Another copy of the library registered the class first, and something of
// someone else's sits under its key: a registration of ours that fails at
// any write leaves all of it as it was (removing by the script would take
// the other copy's registration away).
TYPED_TEST(RegistrarTest, AFailedRegistrationAtAnyWritePutsBackWhatWasThere) {
  this->SeedNeighbours();
  ASSERT_TRUE(this->Run(kTvdPreviewScript, true, nullptr, u"D:\\Other copy\\Vellisto.dll").ok());
  const std::u16string classKey = u"CLSID\\{8EA2DA0F-38F3-41AF-AB0E-C2604717A2F8}";
  this->Seed(classKey + u"\\Extra\\Deeper", u"Note", u"someone else's");
  this->Seed(classKey, u"Note", u"kept too");
  const Lines before = this->Content();
  FaultyStore counting(this->store());
  ASSERT_TRUE(this->Run(kTvdPreviewScript, true, &counting).ok());
  const int writes = counting.writes();
  for (int failAt = 0; failAt < writes; ++failAt) {
    // Back to the other copy's registration before each try.
    ASSERT_TRUE(this->Run(kTvdPreviewScript, true, nullptr, u"D:\\Other copy\\Vellisto.dll").ok());
    this->Seed(classKey + u"\\Extra\\Deeper", u"Note", u"someone else's");
    this->Seed(classKey, u"Note", u"kept too");
    ASSERT_EQ(before, this->Content());
    FaultyStore failing(this->store(), failAt);
    const RegResult result = this->Run(kTvdPreviewScript, true, &failing);
    EXPECT_EQ(RegFault::Registry, result.fault) << failAt;
    EXPECT_EQ(before, this->Content()) << "write " << failAt << " failed: " << result.message;
  }
}

TYPED_TEST(RegistrarTest, MalformedScriptsWriteNothing) {
  this->SeedNeighbours();
  const Lines before = this->Content();
  // Each fault comes after keys that a careless registrar would have written.
  const char16_t* scripts[] = {
      u"HKCR { a = s 'x' { b } } HKLM { c }",
      u"HKCR { a = s 'x' { b = s '%Unknown%' } }",
      u"HKCR { a = s 'x' { b = d '1' } }",
      u"HKCR { a = s 'x' { b } c = s 'open }",
      u"HKCR { a = s 'x' { b }",
      u"HKCR { a = s 'x' } }",
      u"HKCR { a { val = s 'x' } }",
  };
  for (const char16_t* script : scripts) {
    for (bool doRegister : {true, false}) {
      FaultyStore counting(this->store());
      EXPECT_FALSE(this->Run(script, doRegister, &counting).ok());
      EXPECT_EQ(0, counting.writes());
      EXPECT_EQ(before, this->Content());
    }
  }
}

}  // namespace
