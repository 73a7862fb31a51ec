// After registration: the classes by ProgID, and their pointers between
// apartments, the file navigator through the library's own proxy/stub and
// the format object directly (free-threaded marshaler).
#include <gtest/gtest.h>

#include <thread>

#include "DllFixture.h"
#include "Regsvr32.h"
#include "UniqueHandle.h"

namespace {

class RegisteredTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(m_apartment.result()));
    ASSERT_EQ(0u, Regsvr32(VellistoDll::Path()));
  }
  void TearDown() override { EXPECT_EQ(0u, Regsvr32(VellistoDll::Path(), true)); }

  ComApartment m_apartment{COINIT_APARTMENTTHREADED};
};

template <class T>
HRESULT CreateByProgId(const wchar_t* progId, REFIID iid, ComPtr<T>& out) {
  CLSID clsid{};
  const HRESULT hr = CLSIDFromProgID(progId, &clsid);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out.put_void());
}

TEST_F(RegisteredTest, EveryClassIsCreatedByItsProgId) {
  CLSID clsid{};
  ASSERT_EQ(S_OK, CLSIDFromProgID(L"Vellisto.TvdFormat", &clsid));
  EXPECT_TRUE(InlineIsEqualGUID(CLSID_TvdFormat, clsid));
  ASSERT_EQ(S_OK, CLSIDFromProgID(L"Vellisto.TvdFile.1", &clsid));
  EXPECT_TRUE(InlineIsEqualGUID(CLSID_TvdFile, clsid));
  ComPtr<IKivFileFormat> format;
  EXPECT_EQ(S_OK, CreateByProgId(L"Vellisto.TvdFormat", IID_IKivFileFormat, format));
  ComPtr<IKivFileNavigator> navigator;
  EXPECT_EQ(S_OK, CreateByProgId(L"Vellisto.TvdFile", IID_IKivFileNavigator, navigator));
}

TEST_F(RegisteredTest, ThePreviewClassIsCreatedByItsProgId) {
  ComPtr<IUnknown> preview;
  const HRESULT hr = CreateByProgId(L"Vellisto.TvdPreview", IID_IKivFilePreview, preview);
  if (hr == REGDB_E_CLASSNOTREG || hr == CO_E_CLASSSTRING)
    GTEST_SKIP() << "the preview class is not in the object map yet";
  EXPECT_EQ(S_OK, hr);
}

TEST_F(RegisteredTest, AFileMadeFromTheMultithreadedApartmentIsReachedThroughOurProxy) {
  HRESULT created = E_FAIL, asked = E_FAIL, proxied = E_FAIL;
  std::thread([&] {
    ComApartment mta(COINIT_MULTITHREADED);
    ComPtr<ITvdFile> file;
    created = CoCreateInstance(CLSID_TvdFile, nullptr, CLSCTX_INPROC_SERVER, IID_ITvdFile,
                               file.put_void());
    if (FAILED(created)) return;
    ComPtr<IUnknown> unknown;
    asked = file.As(IID_IUnknown, unknown);
    ComPtr<IUnknown> multiQi;  // only a standard proxy has it; the navigator does not
    proxied = file.As(IID_IMultiQI, multiQi);
  }).join();
  EXPECT_EQ(S_OK, created);
  EXPECT_EQ(S_OK, asked);
  EXPECT_EQ(S_OK, proxied);
}

TEST_F(RegisteredTest, AFilePointerMarshalledBetweenTwoSingleThreadedApartments) {
  // Its own apartment makes the file and serves calls until told to stop.
  const UniqueKernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const UniqueKernelHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  IStream* stream = nullptr;
  IUnknown* original = nullptr;
  HRESULT marshalled = E_FAIL;
  std::thread owner([&] {
    ComApartment sta(COINIT_APARTMENTTHREADED);
    ComPtr<ITvdFile> file;
    marshalled = CoCreateInstance(CLSID_TvdFile, nullptr, CLSCTX_INPROC_SERVER, IID_ITvdFile,
                                  file.put_void());
    if (SUCCEEDED(marshalled))
      marshalled = CoMarshalInterThreadInterfaceInStream(IID_ITvdFile, file.get(), &stream);
    original = file.get();
    SetEvent(ready.get());
    HANDLE wait = done.get();
    while (MsgWaitForMultipleObjects(1, &wait, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
  });
  WaitForSingleObject(ready.get(), INFINITE);
  ASSERT_EQ(S_OK, marshalled);
  {
    ComPtr<ITvdFile> proxy;
    ASSERT_EQ(S_OK, CoGetInterfaceAndReleaseStream(stream, IID_ITvdFile, proxy.put_void()));
    EXPECT_NE(static_cast<IUnknown*>(proxy.get()), original);
    ComPtr<ITvdFile> again;
    EXPECT_EQ(S_OK, proxy.As(IID_ITvdFile, again));
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(S_OK, proxy.As(IID_IUnknown, unknown));
  }
  SetEvent(done.get());
  owner.join();
}

TEST_F(RegisteredTest, TheFormatObjectCrossesApartmentsAsItself) {
  ComPtr<IKivFileFormat> format;
  ASSERT_EQ(S_OK, CreateByProgId(L"Vellisto.TvdFormat", IID_IKivFileFormat, format));
  IStream* stream = nullptr;
  ASSERT_EQ(S_OK, CoMarshalInterThreadInterfaceInStream(IID_IKivFileFormat, format.get(), &stream));
  IKivFileFormat* seen = nullptr;
  HRESULT unmarshalled = E_FAIL;
  std::thread([&] {
    ComApartment mta(COINIT_MULTITHREADED);
    ComPtr<IKivFileFormat> other;
    unmarshalled = CoGetInterfaceAndReleaseStream(stream, IID_IKivFileFormat, other.put_void());
    seen = other.get();
  }).join();
  EXPECT_EQ(S_OK, unmarshalled);
  EXPECT_EQ(format.get(), seen);
}

}  // namespace
