// The cache against a real resource library. Module loads and frees are
// counted as they reach the system, and the loader's own state is checked:
// a module that should be gone is gone, and a reference the test holds
// itself is the only one left afterwards.
#include "DibHolder.h"
#include "SystemCalls.h"
#include "TempFolder.h"
#include "TestLibrary.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <thread>
#include <vector>

// The library defines the process's cache among its globals; the test
// program, which links the cache alone, defines its own.
DibHolder g_dibHolder;

namespace {

std::wstring Upper(std::wstring text) {
  ::CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
  return text;
}

bool SamePixels(const CDib& a, const CDib& b) {
  const BITMAP& x = a.GetHeader();
  const BITMAP& y = b.GetHeader();
  return x.bmWidth == y.bmWidth && x.bmHeight == y.bmHeight && x.bmWidthBytes == y.bmWidthBytes &&
         x.bmBitsPixel == y.bmBitsPixel && x.bmBits && y.bmBits &&
         std::memcmp(x.bmBits, y.bmBits, static_cast<size_t>(x.bmWidthBytes) * x.bmHeight) == 0;
}

bool SamePalette(const CDib& a, const CDib& b) {
  PALETTEENTRY x[256], y[256];
  const UINT count = ::GetPaletteEntries(a.GetPalette(), 0, 256, x);
  return count != 0 && count == ::GetPaletteEntries(b.GetPalette(), 0, 256, y) &&
         std::memcmp(x, y, count * sizeof x[0]) == 0;
}

// Set by the DllMain of code/KivRes.dll when it runs.
const wchar_t kCodeRan[] = L"VELLISTO_RESOURCE_CODE_RAN";

bool CodeRan() { return ::GetEnvironmentVariableW(kCodeRan, nullptr, 0) != 0; }

class DibHolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_calls.AllInstalled());
    ASSERT_FALSE(IsLoaded(m_path)) << "an earlier test left the library loaded";
    m_holder = std::make_unique<DibHolder>();
  }
  void TearDown() override {
    m_holder.reset();
    EXPECT_FALSE(IsLoaded(m_path)) << "the cache left a module reference behind";
  }

  SystemCalls m_calls;  // outlives the holder, so that its last frees are seen
  const std::wstring m_path = ResourceLibraryPath();
  std::unique_ptr<DibHolder> m_holder;
};

TEST_F(DibHolderTest, LoadsTheModuleAndTheBitmapOnceAndSharesThem) {
  CDib* first = m_holder->GetDib(208, m_path.c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->GetSize().cx, 33);
  EXPECT_EQ(first->GetSize().cy, 20);
  EXPECT_EQ(m_holder->GetDib(208, m_path.c_str()), first);
  EXPECT_EQ(m_calls.m_loadLibrary, 1);
  EXPECT_EQ(m_calls.m_loadImage, 1);
  EXPECT_TRUE(IsLoaded(m_path));

  m_holder->RemoveAll();
  EXPECT_EQ(m_calls.m_freeLibrary, 1);
  EXPECT_FALSE(IsLoaded(m_path));
}

// A resource library is mapped as an image, never run: the host's library
// may have start-up code, which must not run in the host for a preview.
TEST_F(DibHolderTest, TheLibraryIsMappedAsAnImageResourceAndNoneOfItsCodeRuns) {
  const std::wstring withCode = ProgramFolder() + L"code\\KivRes.dll";
  ::SetEnvironmentVariableW(kCodeRan, nullptr);
  CDib* dib = m_holder->GetDib(208, withCode.c_str());
  ASSERT_NE(dib, nullptr);
  EXPECT_EQ(dib->GetSize().cx, 33);
  EXPECT_FALSE(CodeRan()) << "the library's DllMain ran";
  EXPECT_EQ(m_calls.m_loadFlags,
            std::vector<DWORD>{LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE});
  EXPECT_TRUE(IsLoaded(withCode));
  m_holder->RemoveAll();
  EXPECT_FALSE(IsLoaded(withCode));

  // Loaded as code, the same library does run: the mark can be seen.
  HMODULE asCode = RealLoadLibrary(withCode.c_str());
  ASSERT_NE(asCode, nullptr);
  EXPECT_TRUE(CodeRan());
  RealFreeLibrary(asCode);
  ::SetEnvironmentVariableW(kCodeRan, nullptr);
}

TEST_F(DibHolderTest, AMappedLibraryGivesTheBitmapsAndPalettesOfOneLoadedAsCode) {
  std::vector<CDib*> mapped;
  for (UINT id : {208u, 209u, 210u}) mapped.push_back(m_holder->GetDib(id, m_path.c_str()));
  HMODULE asCode = RealLoadLibrary(m_path.c_str());
  ASSERT_NE(asCode, nullptr);
  for (size_t i = 0; i < mapped.size(); ++i) {
    CDib* loaded = m_holder->GetDib(208 + static_cast<UINT>(i), asCode);
    ASSERT_NE(mapped[i], nullptr);
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(SamePixels(*mapped[i], *loaded)) << "bitmap " << 208 + i;
    EXPECT_TRUE(SamePalette(*mapped[i], *loaded)) << "bitmap " << 208 + i;
  }
  m_holder->RemoveAll();
  EXPECT_EQ(ReleaseAllReferences(m_path), 1) << "the mapping is no module reference";
}

TEST_F(DibHolderTest, NamesDifferingInLetterCaseShareOneModuleAndOneDib) {
  const std::wstring upper = Upper(m_path);
  CDib* a = m_holder->GetDib(208, upper.c_str());
  CDib* b = m_holder->GetDib(208, m_path.c_str());
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(m_calls.m_loadLibrary, 1);
  ASSERT_EQ(m_calls.m_loadedNames.size(), 1u);
  EXPECT_EQ(m_calls.m_loadedNames[0], upper) << "the module is loaded by the name as given";

  m_holder->RemoveAll();
  EXPECT_EQ(m_calls.m_freeLibrary, 1);
}

TEST_F(DibHolderTest, LowerCasingFoldsLettersBeyondAToZ) {
  TempFolder folder;
  const std::wstring accented = folder.File(L"R\u00C9S.dll");
  ASSERT_TRUE(::CopyFileW(m_path.c_str(), accented.c_str(), TRUE));
  CDib* a = m_holder->GetDib(208, accented.c_str());
  CDib* b = m_holder->GetDib(208, folder.File(L"r\u00E9s.dll").c_str());
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(m_calls.m_loadLibrary, 1);
  m_holder->RemoveAll();
  EXPECT_FALSE(IsLoaded(accented));
}

TEST_F(DibHolderTest, TwoSpellingsOfOnePathAreTwoEntriesWithTheirOwnReferences) {
  HMODULE pin = RealLoadLibrary(m_path.c_str());
  ASSERT_NE(pin, nullptr);
  const std::wstring dotted = ProgramFolder() + L".\\KivRes.dll";
  CDib* a = m_holder->GetDib(208, m_path.c_str());
  CDib* b = m_holder->GetDib(208, dotted.c_str());
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  EXPECT_TRUE(SamePixels(*a, *b));
  EXPECT_EQ(m_calls.m_loadLibrary, 2);

  m_holder->RemoveAll();
  EXPECT_EQ(m_calls.m_freeLibrary, 2);
  EXPECT_EQ(m_calls.m_freedModules, (std::vector<HMODULE>{pin, pin}));
  EXPECT_EQ(ReleaseAllReferences(m_path), 1) << "only the test's own reference may be left";
}

TEST_F(DibHolderTest, IdentifiersDifferingAboveTheLow16BitsAreSeparateDibsOfOneResource) {
  CDib* low = m_holder->GetDib(208, m_path.c_str());
  CDib* high = m_holder->GetDib(0x100D0, m_path.c_str());
  CDib* higher = m_holder->GetDib(0x200D0, m_path.c_str());
  ASSERT_NE(low, nullptr);
  ASSERT_NE(high, nullptr);
  ASSERT_NE(higher, nullptr);
  EXPECT_NE(low, high);
  EXPECT_NE(high, higher);
  EXPECT_TRUE(SamePixels(*low, *high));
  EXPECT_EQ(m_holder->GetDib(0x100D0, m_path.c_str()), high);
  EXPECT_EQ(m_calls.m_loadImage, 3);
  EXPECT_EQ(m_calls.m_loadLibrary, 1);
}

TEST_F(DibHolderTest, MissingLibraryIsAskedForOnceHoweverOftenItIsRequested) {
  TempFolder folder;
  const std::wstring late = folder.File(L"LateRes.dll");
  EXPECT_EQ(m_holder->GetDib(208, late.c_str()), nullptr);
  EXPECT_EQ(m_holder->GetDib(208, late.c_str()), nullptr);
  EXPECT_EQ(m_holder->GetDib(209, Upper(late).c_str()), nullptr);
  EXPECT_EQ(m_calls.m_loadLibrary, 1);

  // Even once the library exists, the cache does not try that name again.
  ASSERT_TRUE(::CopyFileW(m_path.c_str(), late.c_str(), TRUE));
  EXPECT_EQ(m_holder->GetDib(208, late.c_str()), nullptr);
  EXPECT_EQ(m_calls.m_loadLibrary, 1);
  EXPECT_FALSE(IsLoaded(late));

  m_holder->RemoveAll();
  for (HMODULE freed : m_calls.m_freedModules) EXPECT_EQ(freed, nullptr);
}

TEST_F(DibHolderTest, MissingBitmapIsTriedAgainAndTheModuleStays) {
  EXPECT_EQ(m_holder->GetDib(211, m_path.c_str()), nullptr);
  EXPECT_EQ(m_holder->GetDib(211, m_path.c_str()), nullptr);
  EXPECT_EQ(m_calls.m_loadImage, 2);
  EXPECT_EQ(m_calls.m_loadImageFailed, 2);
  EXPECT_EQ(m_calls.m_loadLibrary, 1);
  EXPECT_TRUE(IsLoaded(m_path));
  EXPECT_NE(m_holder->GetDib(208, m_path.c_str()), nullptr);
  EXPECT_EQ(m_calls.m_loadLibrary, 1);
}

TEST_F(DibHolderTest, ResourceThatIsNotABitmapGivesNull) {
  EXPECT_EQ(m_holder->GetDib(300, m_path.c_str()), nullptr);
}

TEST_F(DibHolderTest, NullNameGivesNullAndLoadsNothing) {
  EXPECT_EQ(m_holder->GetDib(208, static_cast<const wchar_t*>(nullptr)), nullptr);
  EXPECT_EQ(m_calls.m_loadLibrary, 0);
}

TEST_F(DibHolderTest, ModuleGivenByHandleIsNeverFreed) {
  HMODULE pin = RealLoadLibrary(m_path.c_str());
  ASSERT_NE(pin, nullptr);
  CDib* a = m_holder->GetDib(208, pin);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(m_holder->GetDib(208, pin), a);
  EXPECT_EQ(m_holder->GetDib(211, pin), nullptr);
  // By handle and by name are separate entries.
  CDib* byName = m_holder->GetDib(208, m_path.c_str());
  ASSERT_NE(byName, nullptr);
  EXPECT_NE(byName, a);
  EXPECT_EQ(m_calls.m_loadLibrary, 1);

  m_holder->RemoveAll();
  EXPECT_EQ(m_calls.m_freeLibrary, 1) << "only the module the cache loaded by name";
  m_holder.reset();
  EXPECT_EQ(m_calls.m_freeLibrary, 1);
  EXPECT_EQ(ReleaseAllReferences(m_path), 1);
}

TEST_F(DibHolderTest, RemoveAllOnAnEmptyCacheFreesNothing) {
  HMODULE pin = RealLoadLibrary(m_path.c_str());
  ASSERT_NE(pin, nullptr);
  m_holder->RemoveAll();
  m_holder->RemoveAll();
  EXPECT_EQ(m_calls.m_freeLibrary, 0);
  EXPECT_EQ(ReleaseAllReferences(m_path), 1);
}

TEST_F(DibHolderTest, RemoveAllDestroysEveryBitmapAndPaletteAndTheCacheCanRefill) {
  HMODULE pin = RealLoadLibrary(m_path.c_str());
  std::vector<HGDIOBJ> objects;
  for (UINT id : {208u, 209u, 210u}) {
    CDib* byName = m_holder->GetDib(id, m_path.c_str());
    CDib* byHandle = m_holder->GetDib(id, pin);
    ASSERT_NE(byName, nullptr);
    ASSERT_NE(byHandle, nullptr);
    for (CDib* dib : {byName, byHandle}) {
      objects.push_back(dib->GetHandle());
      objects.push_back(dib->GetPalette());
    }
  }
  for (HGDIOBJ object : objects) EXPECT_NE(::GetObjectType(object), 0u);

  m_holder->RemoveAll();
  for (HGDIOBJ object : objects) EXPECT_EQ(::GetObjectType(object), 0u) << "leaked";

  EXPECT_NE(m_holder->GetDib(208, m_path.c_str()), nullptr);
  EXPECT_EQ(m_calls.m_loadLibrary, 2);
  m_holder.reset();
  EXPECT_EQ(ReleaseAllReferences(m_path), 1);
}

TEST_F(DibHolderTest, DestructionReleasesModulesAndBitmaps) {
  CDib* dib = m_holder->GetDib(210, m_path.c_str());
  ASSERT_NE(dib, nullptr);
  const HGDIOBJ bitmap = dib->GetHandle();
  const HGDIOBJ palette = dib->GetPalette();
  m_holder.reset();
  EXPECT_EQ(m_calls.m_freeLibrary, 1);
  EXPECT_FALSE(IsLoaded(m_path));
  EXPECT_EQ(::GetObjectType(bitmap), 0u);
  EXPECT_EQ(::GetObjectType(palette), 0u);
}

TEST_F(DibHolderTest, SixteenThreadsAskingAtOnceGetOneDibPerKey) {
  HMODULE pin = RealLoadLibrary(m_path.c_str());
  ASSERT_NE(pin, nullptr);
  const std::wstring dotted = ProgramFolder() + L".\\KivRes.dll";
  const std::wstring upper = Upper(m_path);
  const UINT ids[] = {208, 209, 210, 0x100D0, 211};
  constexpr int kThreads = 16;
  constexpr int kRounds = 50;

  // results[thread][key] for the keys (name kind, id); kinds: 0 path, 1 upper
  // case path (same entry as 0), 2 dotted path, 3 by handle.
  using Key = std::pair<int, UINT>;
  std::vector<std::map<Key, CDib*>> results(kThreads);
  std::vector<bool> consistent(kThreads, true);
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ++ready;
      while (ready < kThreads) std::this_thread::yield();
      for (int round = 0; round < kRounds; ++round) {
        for (int step = 0; step < 20; ++step) {
          // Every thread walks the keys in its own order.
          const int kind = (step + t + round) % 4;
          const UINT id = ids[(step * 7 + t) % 5];
          CDib* dib = kind == 3   ? m_holder->GetDib(id, pin)
                      : kind == 2 ? m_holder->GetDib(id, dotted.c_str())
                      : kind == 1 ? m_holder->GetDib(id, upper.c_str())
                                  : m_holder->GetDib(id, m_path.c_str());
          const Key key{kind == 1 ? 0 : kind, id};
          auto seen = results[t].emplace(key, dib);
          if (seen.first->second != dib) consistent[t] = false;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();

  std::map<Key, CDib*> all;
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_TRUE(consistent[t]) << "thread " << t << " got two pointers for one key";
    for (const auto& entry : results[t]) {
      auto seen = all.emplace(entry.first, entry.second);
      EXPECT_EQ(seen.first->second, entry.second) << "threads disagree";
      EXPECT_EQ(entry.second == nullptr, entry.first.second == 211u);
    }
  }
  // Three entries (path, dotted path, handle), four loadable ids each.
  EXPECT_EQ(m_calls.m_loadLibrary, 2);
  EXPECT_EQ(m_calls.m_loadImage - m_calls.m_loadImageFailed, 12);

  std::vector<HGDIOBJ> objects;
  for (const auto& entry : all) {
    if (!entry.second) continue;
    objects.push_back(entry.second->GetHandle());
    objects.push_back(entry.second->GetPalette());
  }
  m_holder->RemoveAll();
  for (HGDIOBJ object : objects) EXPECT_EQ(::GetObjectType(object), 0u) << "leaked";
  EXPECT_EQ(m_calls.m_freeLibrary, 2);
  EXPECT_EQ(ReleaseAllReferences(m_path), 1);
}

TEST_F(DibHolderTest, TheProcessHasOneGlobalCache) {
  CDib* dib = g_dibHolder.GetDib(208, m_path.c_str());
  ASSERT_NE(dib, nullptr);
  EXPECT_EQ(g_dibHolder.GetDib(208, Upper(m_path).c_str()), dib);
  g_dibHolder.RemoveAll();
  EXPECT_FALSE(IsLoaded(m_path));
}

}  // namespace
