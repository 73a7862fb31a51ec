// Class objects, object lifetime and unloading: DllCanUnloadNow answers
// S_OK exactly when nothing is held. Every test also ends with the library
// unloaded by FreeLibrary (the fixture), so detach runs after each of them.
#include "DllFixture.h"

#include <gtest/gtest.h>

namespace {

void* const kGarbage = reinterpret_cast<void*>(0x1234);
const CLSID kUnknownClass = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
// The free-threaded marshaler's unmarshal class as the runtime reports it.
const CLSID kFreeThreadedUnmarshalClass = {0x0000033A, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

class ClassObjectTest : public DllFixture {};

TEST_F(ClassObjectTest, UnknownClassIsNotAvailable) {
  void* out = kGarbage;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, dll.GetClassObject(kUnknownClass, IID_IClassFactory, &out));
  EXPECT_EQ(nullptr, out);
  // The host's interface identifiers are no classes either.
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, dll.GetClassObject(IID_IKivFileFormat, IID_IClassFactory, &out));
  EXPECT_EQ(nullptr, out);
}

TEST_F(ClassObjectTest, MissingOutPointerIsRefused) {
  EXPECT_EQ(E_POINTER, dll.GetClassObject(CLSID_TvdFormat, IID_IClassFactory, nullptr));
}

TEST_F(ClassObjectTest, EachClassHasOneCachedClassObject) {
  for (const CLSID* clsid : {&CLSID_TvdFormat, &CLSID_TvdFile}) {
    ComPtr<IClassFactory> first, second;
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(S_OK, dll.GetClassObject(*clsid, IID_IClassFactory, first.put_void()));
    ASSERT_EQ(S_OK, dll.GetClassObject(*clsid, IID_IClassFactory, second.put_void()));
    ASSERT_EQ(S_OK, dll.GetClassObject(*clsid, IID_IUnknown, unknown.put_void()));
    EXPECT_EQ(first.get(), second.get());
    EXPECT_EQ(static_cast<IUnknown*>(first.get()), unknown.get());
  }
  ComPtr<IClassFactory> format, file;
  dll.GetClassObject(CLSID_TvdFormat, IID_IClassFactory, format.put_void());
  dll.GetClassObject(CLSID_TvdFile, IID_IClassFactory, file.put_void());
  EXPECT_NE(format.get(), file.get());
}

TEST_F(ClassObjectTest, ClassObjectAnswersOnlyItsInterfaces) {
  void* out = kGarbage;
  EXPECT_EQ(E_NOINTERFACE, dll.GetClassObject(CLSID_TvdFormat, IID_IKivFileFormat, &out));
  EXPECT_EQ(nullptr, out);
  ComPtr<IClassFactory> factory = dll.Factory(CLSID_TvdFormat);
  ASSERT_TRUE(factory);
  out = kGarbage;
  EXPECT_EQ(E_NOINTERFACE, factory->QueryInterface(IID_IPersist, &out));
  EXPECT_EQ(nullptr, out);
}

TEST_F(ClassObjectTest, HeldClassObjectKeepsTheLibraryLoaded) {
  ComPtr<IClassFactory> factory = dll.Factory(CLSID_TvdFormat);
  ASSERT_TRUE(factory);
  EXPECT_EQ(S_FALSE, dll.CanUnloadNow());
  ComPtr<IClassFactory> second = dll.Factory(CLSID_TvdFormat);
  factory.Reset();
  EXPECT_EQ(S_FALSE, dll.CanUnloadNow());
  second.Reset();
  // Only the object map's own reference is left: that does not count.
  EXPECT_EQ(S_OK, dll.CanUnloadNow());
}

TEST_F(ClassObjectTest, LockServerCountsEveryLock) {
  ComPtr<IClassFactory> factory = dll.Factory(CLSID_TvdFile);
  ASSERT_TRUE(factory);
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  factory.Reset();
  EXPECT_EQ(S_FALSE, dll.CanUnloadNow());
  factory = dll.Factory(CLSID_TvdFile);
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  factory.Reset();
  EXPECT_EQ(S_OK, dll.CanUnloadNow());
}

TEST_F(ClassObjectTest, StrayUnlockCannotFreeAnObjectsLock) {
  ComPtr<IClassFactory> factory = dll.Factory(CLSID_TvdFormat);
  ComPtr<IKivFileFormat> format;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IKivFileFormat, format.put_void()));
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));  // never locked
  factory.Reset();
  EXPECT_EQ(S_FALSE, dll.CanUnloadNow()) << "the live format object must keep the library";
  format.Reset();
  EXPECT_EQ(S_OK, dll.CanUnloadNow());
}

TEST_F(ClassObjectTest, CreateInstanceChecksItsArguments) {
  ComPtr<IClassFactory> factory = dll.Factory(CLSID_TvdFormat);
  ASSERT_TRUE(factory);
  EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IKivFileFormat, nullptr));
  void* out = kGarbage;
  EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IKivFileNavigator, &out));
  EXPECT_EQ(nullptr, out);
  out = kGarbage;
  EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IDispatch, &out));
  EXPECT_EQ(nullptr, out);
  factory.Reset();
  EXPECT_EQ(S_OK, dll.CanUnloadNow()) << "a failed creation left a lock behind";
}

TEST_F(ClassObjectTest, ObjectsKeepTheLibraryUntilTheirLastRelease) {
  for (const CLSID* clsid : {&CLSID_TvdFormat, &CLSID_TvdFile}) {
    ComPtr<IUnknown> object, other;
    {
      ComPtr<IClassFactory> factory = dll.Factory(*clsid);
      ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, object.put_void()));
    }
    EXPECT_EQ(S_FALSE, dll.CanUnloadNow());
    object->AddRef();
    object->Release();
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IUnknown, other.put_void()));
    object.Reset();
    EXPECT_EQ(S_FALSE, dll.CanUnloadNow());
    other.Reset();
    EXPECT_EQ(S_OK, dll.CanUnloadNow());
  }
}

TEST_F(ClassObjectTest, FileClassMakesEmptyNavigators) {
  ComPtr<IClassFactory> factory = dll.Factory(CLSID_TvdFile);
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
  ASSERT_EQ(S_OK, dll.GetClassObject(IID_ITvdFormat, IID_IPSFactoryBuffer, buffer.put_void()));
  ComPtr<IClassFactory> notAFactory;
  EXPECT_NE(S_OK, dll.GetClassObject(IID_ITvdFormat, IID_IClassFactory, notAFactory.put_void()));
  EXPECT_FALSE(notAFactory);
  EXPECT_EQ(S_FALSE, dll.CanUnloadNow());
  buffer.Reset();
  EXPECT_EQ(S_OK, dll.CanUnloadNow());
}

// Registering and unregistering through the exports take no lock that
// would keep the library loaded (the fixture checks the unload answer).
TEST_F(ClassObjectTest, RegistrationThroughTheExportsKeepsNoLock) {
  EXPECT_EQ(S_OK, dll.RegisterServer());
  EXPECT_EQ(S_OK, dll.CanUnloadNow());
  EXPECT_EQ(S_OK, dll.UnregisterServer());
}

// A test aggregate: an outer object that exposes the inner object's
// interfaces as its own, the way a host that aggregates the plugin would.
class Outer : public IUnknown {
 public:
  STDMETHOD(QueryInterface)(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (InlineIsEqualGUID(iid, IID_IUnknown)) {
      *out = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
  }
  STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(++refs); }
  STDMETHOD_(ULONG, Release)() override { return static_cast<ULONG>(--refs); }

  LONG refs = 1;
  IUnknown* inner = nullptr;  // owned by the test
};

class AggregationTest : public DllFixture {
 protected:
  void ReleaseAll() override {
    if (outer.inner) outer.inner->Release();
    outer.inner = nullptr;
  }
  Outer outer;
};

TEST_F(AggregationTest, OnlyTheInnerUnknownMayBeAskedFor) {
  for (const CLSID* clsid : {&CLSID_TvdFormat, &CLSID_TvdFile}) {
    ComPtr<IClassFactory> factory = dll.Factory(*clsid);
    void* out = kGarbage;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IKivFileFormat, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_ITvdFile, &out));
    EXPECT_EQ(1, outer.refs);
    factory.Reset();
    EXPECT_EQ(S_OK, dll.CanUnloadNow()) << "nothing may be created";
  }
}

TEST_F(AggregationTest, FormatInterfacesSpeakWithTheOuterIdentity) {
  ComPtr<IClassFactory> factory = dll.Factory(CLSID_TvdFormat);
  ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)));
  factory.Reset();
  ASSERT_NE(nullptr, outer.inner);
  EXPECT_NE(static_cast<IUnknown*>(&outer), outer.inner);
  EXPECT_EQ(S_FALSE, dll.CanUnloadNow());

  // The inner unknown answers IUnknown with itself.
  ComPtr<IUnknown> innerAgain;
  ASSERT_EQ(S_OK, outer.inner->QueryInterface(IID_IUnknown, innerAgain.put_void()));
  EXPECT_EQ(outer.inner, innerAgain.get());
  innerAgain.Reset();

  for (const IID* iid : {&IID_IKivFileFormat, &IID_ITvdFormat, &IID_IMarshal}) {
    IUnknown* itf = nullptr;
    ASSERT_EQ(S_OK, outer.inner->QueryInterface(*iid, reinterpret_cast<void**>(&itf)));
    EXPECT_EQ(2, outer.refs) << "the reference went to the outer object";
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, itf->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity);
    identity->Release();
    itf->AddRef();
    EXPECT_EQ(3, outer.refs);
    itf->Release();
    itf->Release();
    EXPECT_EQ(1, outer.refs);
  }

  // Through the outer object, the aggregate works as a format object.
  ComPtr<IKivFileFormat> format;
  ASSERT_EQ(S_OK, outer.QueryInterface(IID_IKivFileFormat, format.put_void()));
  ULONG flags = 0;
  EXPECT_EQ(S_OK, format->GetCapabilities(L"tvd", &flags));
  EXPECT_EQ(12u, flags);
  format.Reset();

  ReleaseAll();
  EXPECT_EQ(1, outer.refs);
}

TEST_F(AggregationTest, MarshalerOfAnAggregateIsAggregatedOnTheOuterObject) {
  ComPtr<IClassFactory> factory = dll.Factory(CLSID_TvdFormat);
  ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)));
  ComPtr<IMarshal> marshal;
  ASSERT_EQ(S_OK, outer.QueryInterface(IID_IMarshal, marshal.put_void()));
  ComPtr<IUnknown> identity;
  ASSERT_EQ(S_OK, marshal->QueryInterface(IID_IUnknown, identity.put_void()));
  EXPECT_EQ(static_cast<IUnknown*>(&outer), identity.get());
  CLSID unmarshalClass = {};
  ASSERT_EQ(S_OK, marshal->GetUnmarshalClass(IID_IKivFileFormat, &outer, MSHCTX_INPROC, nullptr,
                                             MSHLFLAGS_NORMAL, &unmarshalClass));
  EXPECT_TRUE(InlineIsEqualGUID(kFreeThreadedUnmarshalClass, unmarshalClass));
}

TEST_F(AggregationTest, FileInterfacesSpeakWithTheOuterIdentity) {
  ComPtr<IClassFactory> factory = dll.Factory(CLSID_TvdFile);
  ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)));
  for (const IID* iid : {&IID_IKivFileNavigator, &IID_ITvdFile}) {
    IUnknown* itf = nullptr;
    ASSERT_EQ(S_OK, outer.inner->QueryInterface(*iid, reinterpret_cast<void**>(&itf)));
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, itf->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity);
    identity->Release();
    itf->Release();
  }
  void* out = kGarbage;
  EXPECT_EQ(E_NOINTERFACE, outer.inner->QueryInterface(IID_IMarshal, &out));
  EXPECT_EQ(1, outer.refs);
}

class MarshalTest : public DllFixture {};

TEST_F(MarshalTest, StandAloneFormatAnswersIMarshalThroughTheFreeThreadedMarshaler) {
  ComPtr<IKivFileFormat> format;
  ASSERT_EQ(S_OK, dll.CreateFormat(format.put()));
  ComPtr<IMarshal> marshal;
  ASSERT_EQ(S_OK, format->QueryInterface(IID_IMarshal, marshal.put_void()));
  ComPtr<IUnknown> viaMarshal, viaFormat;
  ASSERT_EQ(S_OK, marshal->QueryInterface(IID_IUnknown, viaMarshal.put_void()));
  ASSERT_EQ(S_OK, format->QueryInterface(IID_IUnknown, viaFormat.put_void()));
  EXPECT_EQ(viaFormat.get(), viaMarshal.get());
  CLSID unmarshalClass = {};
  ASSERT_EQ(S_OK, marshal->GetUnmarshalClass(IID_IKivFileFormat, format.get(), MSHCTX_INPROC, nullptr,
                                             MSHLFLAGS_NORMAL, &unmarshalClass));
  EXPECT_TRUE(InlineIsEqualGUID(kFreeThreadedUnmarshalClass, unmarshalClass));
}

DWORD WINAPI UnmarshalOnAnotherApartment(void* arg) {
  auto* stream = static_cast<IStream**>(arg);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IKivFileFormat* format = nullptr;
  const HRESULT hr = CoGetInterfaceAndReleaseStream(*stream, IID_IKivFileFormat, reinterpret_cast<void**>(&format));
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
  ASSERT_EQ(S_OK, dll.CreateFormat(format.put()));
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
