// Class objects, object lifetime and unloading: DllCanUnloadNow answers
// S_OK exactly when nothing is held. Every test also ends with the library
// unloaded by FreeLibrary (the fixture), so detach runs after each of them.
#include "DllFixture.h"
#include "TestAggregate.h"

#include <gtest/gtest.h>

namespace {

void* const kGarbage = reinterpret_cast<void*>(0x1234);
const CLSID kUnknownClass = {
    0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
// The free-threaded marshaler's unmarshal class as the runtime reports it.
const CLSID kFreeThreadedUnmarshalClass = {0x0000033A, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

class ClassObjectTest : public DllFixture {};

TEST_F(ClassObjectTest, UnknownClassIsNotAvailable) {
  void* out = kGarbage;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
            m_dll.GetClassObject(kUnknownClass, IID_IClassFactory, &out));
  EXPECT_EQ(nullptr, out);
  // The host's interface identifiers are no classes either.
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
            m_dll.GetClassObject(IID_IKivFileFormat, IID_IClassFactory, &out));
  EXPECT_EQ(nullptr, out);
}

TEST_F(ClassObjectTest, MissingOutPointerIsRefused) {
  EXPECT_EQ(E_POINTER, m_dll.GetClassObject(CLSID_TvdFormat, IID_IClassFactory, nullptr));
}

TEST_F(ClassObjectTest, EachClassHasOneCachedClassObject) {
  for (const CLSID* clsid : {&CLSID_TvdFormat, &CLSID_TvdFile}) {
    ComPtr<IClassFactory> first, second;
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(S_OK, m_dll.GetClassObject(*clsid, IID_IClassFactory, first.put_void()));
    ASSERT_EQ(S_OK, m_dll.GetClassObject(*clsid, IID_IClassFactory, second.put_void()));
    ASSERT_EQ(S_OK, m_dll.GetClassObject(*clsid, IID_IUnknown, unknown.put_void()));
    EXPECT_EQ(first.get(), second.get());
    EXPECT_EQ(static_cast<IUnknown*>(first.get()), unknown.get());
  }
  ComPtr<IClassFactory> format, file;
  m_dll.GetClassObject(CLSID_TvdFormat, IID_IClassFactory, format.put_void());
  m_dll.GetClassObject(CLSID_TvdFile, IID_IClassFactory, file.put_void());
  EXPECT_NE(format.get(), file.get());
}

TEST_F(ClassObjectTest, ClassObjectAnswersOnlyItsInterfaces) {
  void* out = kGarbage;
  EXPECT_EQ(E_NOINTERFACE, m_dll.GetClassObject(CLSID_TvdFormat, IID_IKivFileFormat, &out));
  EXPECT_EQ(nullptr, out);
  ComPtr<IClassFactory> factory = m_dll.Factory(CLSID_TvdFormat);
  ASSERT_TRUE(factory);
  out = kGarbage;
  EXPECT_EQ(E_NOINTERFACE, factory->QueryInterface(IID_IPersist, &out));
  EXPECT_EQ(nullptr, out);
}

TEST_F(ClassObjectTest, HeldClassObjectKeepsTheLibraryLoaded) {
  ComPtr<IClassFactory> factory = m_dll.Factory(CLSID_TvdFormat);
  ASSERT_TRUE(factory);
  EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow());
  ComPtr<IClassFactory> second = m_dll.Factory(CLSID_TvdFormat);
  factory.Reset();
  EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow());
  second.Reset();
  // Only the object map's own reference is left: that does not count.
  EXPECT_EQ(S_OK, m_dll.CanUnloadNow());
}

TEST_F(ClassObjectTest, LockServerCountsEveryLock) {
  ComPtr<IClassFactory> factory = m_dll.Factory(CLSID_TvdFile);
  ASSERT_TRUE(factory);
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  factory.Reset();
  EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow());
  factory = m_dll.Factory(CLSID_TvdFile);
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  factory.Reset();
  EXPECT_EQ(S_OK, m_dll.CanUnloadNow());
}

TEST_F(ClassObjectTest, StrayUnlockCannotFreeAnObjectsLock) {
  ComPtr<IClassFactory> factory = m_dll.Factory(CLSID_TvdFormat);
  ComPtr<IKivFileFormat> format;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IKivFileFormat, format.put_void()));
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));  // never locked
  factory.Reset();
  EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow()) << "the live format object must keep the library";
  format.Reset();
  EXPECT_EQ(S_OK, m_dll.CanUnloadNow());
}

TEST_F(ClassObjectTest, CreateInstanceChecksItsArguments) {
  ComPtr<IClassFactory> factory = m_dll.Factory(CLSID_TvdFormat);
  ASSERT_TRUE(factory);
  EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IKivFileFormat, nullptr));
  void* out = kGarbage;
  EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IKivFileNavigator, &out));
  EXPECT_EQ(nullptr, out);
  out = kGarbage;
  EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IDispatch, &out));
  EXPECT_EQ(nullptr, out);
  factory.Reset();
  EXPECT_EQ(S_OK, m_dll.CanUnloadNow()) << "a failed creation left a lock behind";
}

TEST_F(ClassObjectTest, ObjectsKeepTheLibraryUntilTheirLastRelease) {
  for (const CLSID* clsid : {&CLSID_TvdFormat, &CLSID_TvdFile}) {
    ComPtr<IUnknown> object, other;
    {
      ComPtr<IClassFactory> factory = m_dll.Factory(*clsid);
      ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, object.put_void()));
    }
    EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow());
    object->AddRef();
    object->Release();
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IUnknown, other.put_void()));
    object.Reset();
    EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow());
    other.Reset();
    EXPECT_EQ(S_OK, m_dll.CanUnloadNow());
  }
}

TEST_F(ClassObjectTest, FileClassMakesEmptyNavigators) {
  ComPtr<IClassFactory> factory = m_dll.Factory(CLSID_TvdFile);
  ComPtr<IKivFileNavigator> navigator;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IKivFileNavigator, navigator.put_void()));
  ValueRecord record = {};
  EXPECT_EQ(S_OK, navigator->GetValues(0, 0, 0, 1, &record));
  EXPECT_EQ(0, record.found);
  // It was never opened, so it has no file to save to.
  EXPECT_EQ(KIV_E_CANNOT_OPEN, navigator->Save());
}

TEST_F(ClassObjectTest, ProxyStubClassIsAnsweredByTheProxyLayer) {
  ComPtr<IPSFactoryBuffer> buffer;
  ASSERT_EQ(S_OK, m_dll.GetClassObject(IID_ITvdFormat, IID_IPSFactoryBuffer, buffer.put_void()));
  ComPtr<IClassFactory> notAFactory;
  EXPECT_NE(S_OK, m_dll.GetClassObject(IID_ITvdFormat, IID_IClassFactory, notAFactory.put_void()));
  EXPECT_FALSE(notAFactory);
  EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow());
  buffer.Reset();
  EXPECT_EQ(S_OK, m_dll.CanUnloadNow());
}

// Registering and unregistering through the exports take no lock that
// would keep the library loaded (the fixture checks the unload answer).
TEST_F(ClassObjectTest, RegistrationThroughTheExportsKeepsNoLock) {
  EXPECT_EQ(S_OK, m_dll.RegisterServer());
  EXPECT_EQ(S_OK, m_dll.CanUnloadNow());
  EXPECT_EQ(S_OK, m_dll.UnregisterServer());
}

class AggregationTest : public DllFixture {
 protected:
  void ReleaseAll() override {
    if (m_outer.m_inner) m_outer.m_inner->Release();
    m_outer.m_inner = nullptr;
  }
  TestAggregate m_outer;
};

TEST_F(AggregationTest, OnlyTheInnerUnknownMayBeAskedFor) {
  for (const CLSID* clsid : {&CLSID_TvdFormat, &CLSID_TvdFile}) {
    ComPtr<IClassFactory> factory = m_dll.Factory(*clsid);
    void* out = kGarbage;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&m_outer, IID_IKivFileFormat, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&m_outer, IID_ITvdFile, &out));
    EXPECT_EQ(1, m_outer.m_refs);
    factory.Reset();
    EXPECT_EQ(S_OK, m_dll.CanUnloadNow()) << "nothing may be created";
  }
}

TEST_F(AggregationTest, FormatInterfacesSpeakWithTheOuterIdentity) {
  ComPtr<IClassFactory> factory = m_dll.Factory(CLSID_TvdFormat);
  ASSERT_EQ(S_OK, factory->CreateInstance(&m_outer, IID_IUnknown,
                                          reinterpret_cast<void**>(&m_outer.m_inner)));
  factory.Reset();
  ASSERT_NE(nullptr, m_outer.m_inner);
  EXPECT_NE(static_cast<IUnknown*>(&m_outer), m_outer.m_inner);
  EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow());

  // The inner unknown answers IUnknown with itself.
  ComPtr<IUnknown> innerAgain;
  ASSERT_EQ(S_OK, m_outer.m_inner->QueryInterface(IID_IUnknown, innerAgain.put_void()));
  EXPECT_EQ(m_outer.m_inner, innerAgain.get());
  innerAgain.Reset();

  for (const IID* iid : {&IID_IKivFileFormat, &IID_ITvdFormat, &IID_IMarshal}) {
    IUnknown* itf = nullptr;
    ASSERT_EQ(S_OK, m_outer.m_inner->QueryInterface(*iid, reinterpret_cast<void**>(&itf)));
    EXPECT_EQ(2, m_outer.m_refs) << "the reference went to the outer object";
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, itf->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(&m_outer), identity);
    identity->Release();
    itf->AddRef();
    EXPECT_EQ(3, m_outer.m_refs);
    itf->Release();
    itf->Release();
    EXPECT_EQ(1, m_outer.m_refs);
  }

  // Through the outer object, the aggregate works as a format object.
  ComPtr<IKivFileFormat> format;
  ASSERT_EQ(S_OK, m_outer.QueryInterface(IID_IKivFileFormat, format.put_void()));
  ULONG flags = 0;
  EXPECT_EQ(S_OK, format->GetCapabilities(L"tvd", &flags));
  EXPECT_EQ(12u, flags);
  format.Reset();

  ReleaseAll();
  EXPECT_EQ(1, m_outer.m_refs);
}

TEST_F(AggregationTest, MarshalerOfAnAggregateIsAggregatedOnTheOuterObject) {
  ComPtr<IClassFactory> factory = m_dll.Factory(CLSID_TvdFormat);
  ASSERT_EQ(S_OK, factory->CreateInstance(&m_outer, IID_IUnknown,
                                          reinterpret_cast<void**>(&m_outer.m_inner)));
  ComPtr<IMarshal> marshal;
  ASSERT_EQ(S_OK, m_outer.QueryInterface(IID_IMarshal, marshal.put_void()));
  ComPtr<IUnknown> identity;
  ASSERT_EQ(S_OK, marshal->QueryInterface(IID_IUnknown, identity.put_void()));
  EXPECT_EQ(static_cast<IUnknown*>(&m_outer), identity.get());
  CLSID unmarshalClass = {};
  ASSERT_EQ(S_OK, marshal->GetUnmarshalClass(IID_IKivFileFormat, &m_outer, MSHCTX_INPROC, nullptr,
                                             MSHLFLAGS_NORMAL, &unmarshalClass));
  EXPECT_TRUE(InlineIsEqualGUID(kFreeThreadedUnmarshalClass, unmarshalClass));
}

TEST_F(AggregationTest, FileInterfacesSpeakWithTheOuterIdentity) {
  ComPtr<IClassFactory> factory = m_dll.Factory(CLSID_TvdFile);
  ASSERT_EQ(S_OK, factory->CreateInstance(&m_outer, IID_IUnknown,
                                          reinterpret_cast<void**>(&m_outer.m_inner)));
  for (const IID* iid : {&IID_IKivFileNavigator, &IID_ITvdFile}) {
    IUnknown* itf = nullptr;
    ASSERT_EQ(S_OK, m_outer.m_inner->QueryInterface(*iid, reinterpret_cast<void**>(&itf)));
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, itf->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(&m_outer), identity);
    identity->Release();
    itf->Release();
  }
  void* out = kGarbage;
  EXPECT_EQ(E_NOINTERFACE, m_outer.m_inner->QueryInterface(IID_IMarshal, &out));
  EXPECT_EQ(1, m_outer.m_refs);
}

class MarshalTest : public DllFixture {};

TEST_F(MarshalTest, StandAloneFormatAnswersIMarshalThroughTheFreeThreadedMarshaler) {
  ComPtr<IKivFileFormat> format;
  ASSERT_EQ(S_OK, m_dll.CreateFormat(format.put()));
  ComPtr<IMarshal> marshal;
  ASSERT_EQ(S_OK, format->QueryInterface(IID_IMarshal, marshal.put_void()));
  ComPtr<IUnknown> viaMarshal, viaFormat;
  ASSERT_EQ(S_OK, marshal->QueryInterface(IID_IUnknown, viaMarshal.put_void()));
  ASSERT_EQ(S_OK, format->QueryInterface(IID_IUnknown, viaFormat.put_void()));
  EXPECT_EQ(viaFormat.get(), viaMarshal.get());
  CLSID unmarshalClass = {};
  ASSERT_EQ(S_OK, marshal->GetUnmarshalClass(IID_IKivFileFormat, format.get(), MSHCTX_INPROC,
                                             nullptr, MSHLFLAGS_NORMAL, &unmarshalClass));
  EXPECT_TRUE(InlineIsEqualGUID(kFreeThreadedUnmarshalClass, unmarshalClass));
}

DWORD WINAPI UnmarshalOnAnotherApartment(void* arg) {
  auto* stream = static_cast<IStream**>(arg);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IKivFileFormat* format = nullptr;
  const HRESULT hr = CoGetInterfaceAndReleaseStream(*stream, IID_IKivFileFormat,
                                                    reinterpret_cast<void**>(&format));
  *stream = nullptr;
  DWORD result = 0;
  if (SUCCEEDED(hr)) {
    result = static_cast<DWORD>(reinterpret_cast<uintptr_t>(format));
    ULONG flags = 0;
    if (format->GetCapabilities(L"tvd", &flags) != S_OK || flags != 12) result = 1;
    format->Release();
  }
  CoUninitialize();
  return result;
}

TEST_F(MarshalTest, FormatPointerCrossesApartmentsDirectly) {
  ComPtr<IKivFileFormat> format;
  ASSERT_EQ(S_OK, m_dll.CreateFormat(format.put()));
  IStream* stream = nullptr;
  ASSERT_EQ(S_OK, CoMarshalInterThreadInterfaceInStream(IID_IKivFileFormat, format.get(), &stream));
  HANDLE thread = CreateThread(nullptr, 0, UnmarshalOnAnotherApartment, &stream, 0, nullptr);
  ASSERT_NE(nullptr, thread);
  WaitForSingleObject(thread, INFINITE);
  DWORD seen = 0;
  GetExitCodeThread(thread, &seen);
  CloseHandle(thread);
  EXPECT_EQ(static_cast<DWORD>(reinterpret_cast<uintptr_t>(format.get())), seen)
      << "the other apartment should get the object itself, not a proxy";
}

// Loading and unloading repeatedly, with objects made and released each
// time: detach runs after every round and must not fault.
TEST(UnloadTest, LoadUseReleaseUnloadRepeatedly) {
  ComApartment apartment(COINIT_APARTMENTTHREADED);
  for (int round = 0; round < 20; ++round) {
    VellistoDll dll;
    ASSERT_TRUE(dll.loaded());
    {
      ComPtr<IKivFileFormat> format;
      ASSERT_EQ(S_OK, dll.CreateFormat(format.put()));
      ComPtr<IKivFileNavigator> navigator;
      EXPECT_EQ(KIV_E_CANNOT_OPEN, format->OpenFile(L"Z:\\nowhere\\x.tvd", 0, navigator.put()));
      ComPtr<IClassFactory> file = dll.Factory(CLSID_TvdFile);
      ASSERT_EQ(S_OK, file->CreateInstance(nullptr, IID_IKivFileNavigator, navigator.put_void()));
      EXPECT_EQ(S_FALSE, dll.CanUnloadNow());
    }
    EXPECT_EQ(S_OK, dll.CanUnloadNow());
    EXPECT_TRUE(dll.Unload()) << "round " << round;
  }
}

TEST(UnloadTest, UnloadWithCachedClassObjectsReleasesThem) {
  // The host released its class objects but the map still caches them:
  // detach must release them before static destruction.
  VellistoDll dll;
  ASSERT_TRUE(dll.loaded());
  dll.Factory(CLSID_TvdFormat);
  dll.Factory(CLSID_TvdFile);
  EXPECT_EQ(S_OK, dll.CanUnloadNow());
  EXPECT_TRUE(dll.Unload());
}

}  // namespace
