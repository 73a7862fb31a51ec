// The format object and the class objects under concurrent callers from the
// multithreaded apartment.
#include "DllFixture.h"
#include "Records.h"
#include "TempFolder.h"
#include "TvdBytes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

class MtaFixture : public DllFixture {
 protected:
  MtaFixture() : DllFixture(COINIT_MULTITHREADED) {}
};

class SharedFormatTest : public MtaFixture {
 protected:
  void ReleaseAll() override { m_format.Reset(); }
  ComPtr<IKivFileFormat> m_format;
  TempFolder m_dir;
};

// Eight threads share one format object and each opens, reads and releases
// navigators 10,000 times.
TEST_F(SharedFormatTest, EightThreadsOpenReadAndRelease) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 10000;
  ASSERT_EQ(S_OK, m_dll.CreateFormat(m_format.put()));
  std::vector<std::wstring> paths;
  for (int t = 0; t < kThreads; ++t)
    paths.push_back(m_dir.Write(
        L"f" + std::to_wstring(t) + L".tvd",
        TvdBytes(2).Block(L"Title", 2).Int(L"Thread", t).Text(L"Name", L"shared").bytes()));
  // A file all threads read at once as well.
  const std::wstring common =
      m_dir.Write(L"common.tvd", TvdBytes(2).Block(L"B", 1).Real(L"R", 1.5).bytes());

  std::atomic<int> failures{0};
  std::atomic<bool> go{false};
  IKivFileFormat* shared = m_format.get();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ComApartment apartment(COINIT_MULTITHREADED);
      while (!go.load()) std::this_thread::yield();
      for (int round = 0; round < kRounds; ++round) {
        const bool own = round % 2 == 0;
        IKivFileNavigator* navigator = nullptr;
        if (shared->OpenFile((own ? paths[t] : common).c_str(), 0, &navigator) != S_OK ||
            !navigator) {
          ++failures;
          continue;
        }
        Records records(2);
        if (own) {
          records.Name(0, L"Title", L"Thread");
          records.Name(1, L"Title", L"N*");
        } else {
          records.Name(0, L"B", L"R");
          records.Name(1, L"B", L"missing");
        }
        const HRESULT hr = navigator->GetValues(0, 0, 0, 2, records.data());
        const bool ok = own ? V_VT(&records[0].value) == VT_I4 && V_I4(&records[0].value) == t &&
                                  TextOf(records[1].value) == L"shared"
                            : V_VT(&records[0].value) == VT_R8 && records[1].found == 0;
        if (hr != S_OK || !ok) ++failures;
        if (navigator->Release() != 0) ++failures;
      }
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(0, failures.load());
  EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow());  // the format object is still held
}

// The first request for a class object, made by two threads at once, yields
// one class object. Each round starts with a freshly loaded library.
TEST(FirstRequestRaceTest, TwoThreadsGetTheSameClassObject) {
  ComApartment apartment(COINIT_MULTITHREADED);
  for (int round = 0; round < 100; ++round) {
    VellistoDll dll;
    ASSERT_TRUE(dll.loaded());
    std::atomic<int> ready{0};
    IUnknown* seen[2] = {nullptr, nullptr};
    HRESULT results[2] = {E_FAIL, E_FAIL};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
      threads.emplace_back([&, t] {
        ++ready;
        while (ready.load() < 2) {
        }
        results[t] =
            dll.GetClassObject(CLSID_TvdFormat, IID_IUnknown, reinterpret_cast<void**>(&seen[t]));
      });
    }
    for (std::thread& thread : threads) thread.join();
    ASSERT_EQ(S_OK, results[0]);
    ASSERT_EQ(S_OK, results[1]);
    EXPECT_EQ(seen[0], seen[1]) << "round " << round;
    seen[0]->Release();
    seen[1]->Release();
    EXPECT_EQ(S_OK, dll.CanUnloadNow());
    EXPECT_TRUE(dll.Unload());
  }
}

// Objects created and released on many threads at once leave no lock.
TEST_F(MtaFixture, ConcurrentCreationLeavesNoLock) {
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int round = 0; round < 2000; ++round) {
        IClassFactory* factory = nullptr;
        if (m_dll.GetClassObject(round % 3 ? CLSID_TvdFormat : CLSID_TvdFile, IID_IClassFactory,
                                 reinterpret_cast<void**>(&factory)) != S_OK) {
          ++failures;
          continue;
        }
        IUnknown* object = nullptr;
        if (factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)) !=
            S_OK)
          ++failures;
        else
          object->Release();
        if (round % 7 == 0) {
          factory->LockServer(TRUE);
          factory->LockServer(FALSE);
        }
        factory->Release();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(0, failures.load());
}

}  // namespace
