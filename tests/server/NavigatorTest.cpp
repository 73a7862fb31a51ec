// The file navigator through the host's IKivFileNavigator, opened by the
// format object of the real library on real files.
#include "DllFixture.h"
#include "Records.h"
#include "TempFolder.h"
#include "TvdBytes.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr double kDate = 45351.5;  // 29 February 2024, noon

class NavigatorTest : public DllFixture {
 protected:
  void SetUp() override {
    DllFixture::SetUp();
    ASSERT_EQ(S_OK, m_dll.CreateFormat(m_format.put()));
    m_path = m_dir.Write(L"part.tvd", TvdBytes(2)
                                          .Block(L"Title", 4)
                                          .Text(L"Name", L"Bracket")
                                          .Int(L"Count", 42)
                                          .Real(L"Weight", 2.5)
                                          .Date(L"Made", kDate)
                                          .Block(L"Vault", 1)
                                          .Text(L"State", L"Released")
                                          .bytes());
    Reopen();
  }
  void ReleaseAll() override {
    m_navigator.Reset();
    m_format.Reset();
  }
  void Reopen() { ASSERT_EQ(S_OK, m_format->OpenFile(m_path.c_str(), 0, m_navigator.put())); }

  // One value fetched by a fresh GetValues.
  bool Fetch(const wchar_t* block, const wchar_t* attrib, VARIANT* out) {
    Records records(1);
    records.Name(0, block, attrib);
    EXPECT_EQ(S_OK, m_navigator->GetValues(0, 0, 0, 1, records.data()));
    VariantInit(out);
    VariantCopy(out, &records[0].value);
    return records[0].found == 1;
  }

  TempFolder m_dir;
  std::wstring m_path;
  ComPtr<IKivFileFormat> m_format;
  ComPtr<IKivFileNavigator> m_navigator;
};

TEST_F(NavigatorTest, GetValuesCopiesEachTypeAndReportsMissingOnes) {
  Records records(6);
  records.Name(0, L"Title", L"Name");
  records.Name(1, L"Title", L"Count");
  records.Name(2, L"Title", L"Weight");
  records.Name(3, L"Title", L"Made");
  records.Name(4, L"Title", L"Absent");
  records.Name(5, L"Nowhere", L"Name");
  records.SetText(4, L"stale");  // released and emptied
  records[5].found = 1;
  ASSERT_EQ(S_OK, m_navigator->GetValues(0, 0, 0, records.count(), records.data()));
  EXPECT_EQ(L"Bracket", TextOf(records[0].value));
  EXPECT_EQ(VT_I4, V_VT(&records[1].value));
  EXPECT_EQ(42, V_I4(&records[1].value));
  EXPECT_EQ(VT_R8, V_VT(&records[2].value));
  EXPECT_EQ(2.5, V_R8(&records[2].value));
  EXPECT_EQ(VT_DATE, V_VT(&records[3].value));
  EXPECT_EQ(kDate, V_DATE(&records[3].value));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(1, records[i].found) << i;
  EXPECT_EQ(VT_EMPTY, V_VT(&records[4].value));
  EXPECT_EQ(0, records[4].found);
  EXPECT_EQ(VT_EMPTY, V_VT(&records[5].value));
  EXPECT_EQ(0, records[5].found);
}

TEST_F(NavigatorTest, StopAtFirstLeavesLaterRecordsByteForByte) {
  Records records(3);
  records.Name(0, L"Title", L"Absent");
  records.Name(1, L"Title", L"Count");
  records.Name(2, L"Title", L"Name");
  records.SetReal(2, 9.75);
  records[2].found = 77;
  records[0].hostWord = records[1].hostWord = records[2].hostWord = 0x5A5A5A5A;
  ValueRecord before;
  std::memcpy(&before, &records[2], sizeof before);
  ASSERT_EQ(S_OK, m_navigator->GetValues(0, 1, 0, records.count(), records.data()));
  EXPECT_EQ(VT_EMPTY, V_VT(&records[0].value));
  EXPECT_EQ(0, records[0].found);
  EXPECT_EQ(42, V_I4(&records[1].value));
  EXPECT_EQ(1, records[1].found);
  EXPECT_EQ(0, std::memcmp(&before, &records[2], sizeof before)) << "the third record was touched";
  EXPECT_EQ(0x5A5A5A5A, records[0].hostWord);
  EXPECT_EQ(0x5A5A5A5A, records[1].hostWord);
}

TEST_F(NavigatorTest, WithoutStopAtFirstEveryRecordIsProcessed) {
  Records records(3);
  records.Name(0, L"Title", L"Count");
  records.Name(1, L"Title", L"Name");
  records.Name(2, L"Vault", L"State");
  ASSERT_EQ(S_OK, m_navigator->GetValues(0, 0, 0, records.count(), records.data()));
  EXPECT_EQ(1, records[2].found);
  EXPECT_EQ(L"Released", TextOf(records[2].value));
}

TEST_F(NavigatorTest, NullRecordPointerIsRefusedEvenForNoRecords) {
  EXPECT_EQ(E_POINTER, m_navigator->GetValues(0, 0, 0, 0, nullptr));
  EXPECT_EQ(E_POINTER, m_navigator->GetValues(0, 1, 0, 5, nullptr));
  EXPECT_EQ(E_POINTER, m_navigator->SetValues(0, 0, 0, 0, nullptr, 0));
  EXPECT_EQ(E_POINTER, m_navigator->SetValues(0, 0, 0, 3, nullptr, 0));
}

TEST_F(NavigatorTest, ZeroOrNegativeCountsTouchNothing) {
  Records records(1);
  records.Name(0, L"Title", L"Count");
  records.SetInt(0, 5);
  records[0].found = 9;
  ValueRecord before;
  std::memcpy(&before, &records[0], sizeof before);
  for (LONG count : {0L, -1L, static_cast<LONG>(0x80000000)}) {
    EXPECT_EQ(S_OK, m_navigator->GetValues(0, 0, 0, count, records.data()));
    EXPECT_EQ(S_OK, m_navigator->SetValues(0, 0, 0, count, records.data(), 0));
    EXPECT_EQ(0, std::memcmp(&before, &records[0], sizeof before));
  }
  VARIANT count;
  ASSERT_TRUE(Fetch(L"Title", L"Count", &count));
  EXPECT_EQ(42, V_I4(&count));
}

TEST_F(NavigatorTest, NullNamesAreEmptyNames) {
  Records records(1);
  records.Name(0, nullptr, nullptr);
  ASSERT_EQ(S_OK, m_navigator->GetValues(0, 0, 0, 1, records.data()));
  EXPECT_EQ(0, records[0].found);
  records.SetInt(0, 11);
  ASSERT_EQ(S_OK, m_navigator->SetValues(0, 0, 0, 1, records.data(), 0));
  VARIANT value;
  ASSERT_TRUE(Fetch(L"", L"", &value));
  EXPECT_EQ(11, V_I4(&value));
}

TEST_F(NavigatorTest, NamesEndAtAnEmbeddedZero) {
  Records records(1);
  records[0].blockName = SysAllocStringLen(L"Title\0junk", 10);
  records[0].attribName = SysAllocStringLen(L"Count\0junk", 10);
  ASSERT_EQ(S_OK, m_navigator->GetValues(0, 0, 0, 1, records.data()));
  EXPECT_EQ(1, records[0].found);
  EXPECT_EQ(42, V_I4(&records[0].value));
}

TEST_F(NavigatorTest, AnAttributeHoldingNothingIsNotFound) {
  Records records(1);
  records.Name(0, L"Title", L"Count");
  ASSERT_EQ(S_OK, m_navigator->SetValues(0, 0, 0, 1, records.data(), 0));  // value VT_EMPTY
  EXPECT_EQ(1, records[0].found);
  records[0].found = 5;
  ASSERT_EQ(S_OK, m_navigator->GetValues(0, 1, 0, 1, records.data()));
  EXPECT_EQ(0, records[0].found);
}

TEST_F(NavigatorTest, SetValuesThroughAPatternOverwritesTheFirstMatch) {
  Records records(1);
  records.Name(0, L"Title", L"W*");
  const BSTR blockName = records[0].blockName;
  const BSTR attribName = records[0].attribName;
  records.SetReal(0, 7.25);
  ASSERT_EQ(S_OK, m_navigator->SetValues(0, 0, 0, 1, records.data(), 0));
  EXPECT_EQ(1, records[0].found);
  EXPECT_EQ(blockName, records[0].blockName);
  EXPECT_EQ(attribName, records[0].attribName);
  EXPECT_STREQ(L"W*", records[0].attribName);
  VARIANT weight;
  ASSERT_TRUE(Fetch(L"Title", L"Weight", &weight));
  EXPECT_EQ(7.25, V_R8(&weight));
  VARIANT none;
  EXPECT_FALSE(Fetch(L"Title", L"W*x", &none));
}

TEST_F(NavigatorTest, ValuesAreCopiedInAndOut) {
  Records records(1);
  records.Name(0, L"Title", L"Name");
  records.SetText(0, L"Bolt");
  ASSERT_EQ(S_OK, m_navigator->SetValues(0, 0, 0, 1, records.data(), 0));
  V_BSTR(&records[0].value)[0] = L'X';  // the host changes its own copy
  VARIANT name;
  ASSERT_TRUE(Fetch(L"Title", L"Name", &name));
  EXPECT_EQ(L"Bolt", TextOf(name));
  V_BSTR(&name)[0] = L'Y';
  VariantClear(&name);
  ASSERT_TRUE(Fetch(L"Title", L"Name", &name));
  EXPECT_EQ(L"Bolt", TextOf(name));
  VariantClear(&name);
}

TEST_F(NavigatorTest, SettingAnAbsentBlockAppendsIt) {
  Records records(1);
  records.Name(0, L"Added", L"Note");
  records.SetText(0, L"new");
  ASSERT_EQ(S_OK, m_navigator->SetValues(0, 0, 0, 1, records.data(), 0));
  EXPECT_EQ(1, records[0].found);
  ASSERT_EQ(S_OK, m_navigator->Save());
  const std::vector<uint8_t> saved = ReadFile(m_path);
  const std::vector<uint8_t> expected = TvdBytes(2)
                                            .Block(L"Title", 4)
                                            .Text(L"Name", L"Bracket")
                                            .Int(L"Count", 42)
                                            .Real(L"Weight", 2.5)
                                            .Date(L"Made", kDate)
                                            .Block(L"Vault", 1)
                                            .Text(L"State", L"Released")
                                            .Block(L"Added", 1)
                                            .Text(L"Note", L"new")
                                            .bytes();
  EXPECT_EQ(expected, saved);
}

TEST_F(NavigatorTest, SavedValuesComeBackAfterReopening) {
  Records records(4);
  records.Name(0, L"Title", L"Count");
  records.SetInt(0, -7);
  records.Name(1, L"Title", L"Made");
  records.SetDate(1, kDate + 1);
  records.Name(2, L"Vault", L"State");
  records.SetText(2, L"Withdrawn \u00e9\u4e2d");
  records.Name(3, L"Vault", L"Ratio");
  records.SetReal(3, 0.1);
  ASSERT_EQ(S_OK, m_navigator->SetValues(0, 0, 0, records.count(), records.data(), 0));
  ASSERT_EQ(S_OK, m_navigator->Save());
  m_navigator.Reset();
  Reopen();
  Records back(4);
  for (int i = 0; i < 4; ++i) back.Name(i, records[i].blockName, records[i].attribName);
  ASSERT_EQ(S_OK, m_navigator->GetValues(0, 0, 0, back.count(), back.data()));
  EXPECT_EQ(-7, V_I4(&back[0].value));
  EXPECT_EQ(VT_DATE, V_VT(&back[1].value));
  EXPECT_EQ(kDate + 1, V_DATE(&back[1].value));
  EXPECT_EQ(L"Withdrawn \u00e9\u4e2d", TextOf(back[2].value));
  EXPECT_EQ(0.1, V_R8(&back[3].value));
}

TEST_F(NavigatorTest, UnsavedChangesAreDroppedAtRelease) {
  Records records(1);
  records.Name(0, L"Title", L"Count");
  records.SetInt(0, 1);
  ASSERT_EQ(S_OK, m_navigator->SetValues(0, 0, 0, 1, records.data(), 0));
  const std::vector<uint8_t> before = ReadFile(m_path);
  m_navigator.Reset();
  EXPECT_EQ(before, ReadFile(m_path));
  Reopen();
  VARIANT count;
  ASSERT_TRUE(Fetch(L"Title", L"Count", &count));
  EXPECT_EQ(42, V_I4(&count));
}

TEST_F(NavigatorTest, SaveOntoAReadOnlyFileFailsAndKeepsTheChanges) {
  Records records(1);
  records.Name(0, L"Title", L"Count");
  records.SetInt(0, 99);
  ASSERT_EQ(S_OK, m_navigator->SetValues(0, 0, 0, 1, records.data(), 0));
  const std::vector<uint8_t> before = ReadFile(m_path);
  ASSERT_TRUE(SetFileAttributesW(m_path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(KIV_E_CANNOT_OPEN, m_navigator->Save());
  EXPECT_EQ(before, ReadFile(m_path));
  VARIANT count;
  ASSERT_TRUE(Fetch(L"Title", L"Count", &count));
  EXPECT_EQ(99, V_I4(&count));
  // Once the file is writable again the same navigator saves.
  ASSERT_TRUE(SetFileAttributesW(m_path.c_str(), FILE_ATTRIBUTE_NORMAL));
  ASSERT_EQ(S_OK, m_navigator->Save());
  m_navigator.Reset();
  Reopen();
  ASSERT_TRUE(Fetch(L"Title", L"Count", &count));
  EXPECT_EQ(99, V_I4(&count));
}

// A value without a text form (here a null) cannot be stored: the save
// fails before the file is touched, and the document keeps the value.
TEST_F(NavigatorTest, SaveOfAValueWithoutTextFormFailsAndKeepsTheFile) {
  Records records(1);
  records.Name(0, L"Title", L"Nothing");
  VariantClear(&records[0].value);
  V_VT(&records[0].value) = VT_NULL;
  ASSERT_EQ(S_OK, m_navigator->SetValues(0, 0, 0, 1, records.data(), 0));
  const std::vector<uint8_t> before = ReadFile(m_path);
  EXPECT_EQ(KIV_E_WRITE_FAILED, m_navigator->Save());
  EXPECT_EQ(before, ReadFile(m_path));
  VARIANT nothing;
  Fetch(L"Title", L"Nothing", &nothing);
  EXPECT_EQ(VT_NULL, V_VT(&nothing));
}

// A value the navigator cannot copy (a null reference, an unknown type) is
// not stored, and found says so; the host's process survives it.
TEST_F(NavigatorTest, ValuesThatCannotBeCopiedAreReportedNotStored) {
  Records records(3);
  records.Name(0, L"Title", L"Count");
  records.Name(1, L"Title", L"Name");
  records.Name(2, L"Title", L"Weight");
  for (size_t i = 0; i < 3; ++i) VariantClear(&records[i].value);
  V_VT(&records[0].value) = VT_I4 | VT_BYREF;
  V_I4REF(&records[0].value) = nullptr;
  V_VT(&records[1].value) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&records[1].value) = nullptr;
  V_VT(&records[2].value) = 0x00FF;
  ASSERT_EQ(S_OK, m_navigator->SetValues(0, 0, 0, 3, records.data(), 0));
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(0, records[i].found) << i;
    V_VT(&records[i].value) = VT_EMPTY;
  }
  VARIANT count;
  ASSERT_TRUE(Fetch(L"Title", L"Count", &count));
  EXPECT_EQ(42, V_I4(&count));
}

TEST_F(NavigatorTest, SaveWhileAnotherProgramHoldsTheFileCannotOpen) {
  HANDLE reader = CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, reader);
  EXPECT_EQ(KIV_E_CANNOT_OPEN, m_navigator->Save());
  CloseHandle(reader);
  EXPECT_EQ(S_OK, m_navigator->Save());
}

TEST_F(NavigatorTest, SaveAfterTheFileWasDeletedWritesItAgain) {
  ASSERT_TRUE(DeleteFileW(m_path.c_str()));
  ASSERT_EQ(S_OK, m_navigator->Save());
  m_navigator.Reset();
  Reopen();
  VARIANT state;
  ASSERT_TRUE(Fetch(L"Vault", L"State", &state));
  EXPECT_EQ(L"Released", TextOf(state));
  VariantClear(&state);
}

// The unsupported slots: each checks the pointer arguments its table names.
TEST_F(NavigatorTest, ReservedSlotsCheckTheirPointersThenDecline) {
  int target = 0;
  void* p = &target;
  IKivFileNavigator* n = m_navigator.get();
  EXPECT_EQ(E_NOTIMPL, n->NavReserved03(0, p, p));
  EXPECT_EQ(E_NOTIMPL, n->NavReserved03(0, p, p));
  EXPECT_EQ(E_POINTER, n->NavReserved03(0, nullptr, p));
  EXPECT_EQ(E_POINTER, n->NavReserved03(0, p, nullptr));
  EXPECT_EQ(E_NOTIMPL, n->NavReserved04(0, 0, 0));
  EXPECT_EQ(E_NOTIMPL, n->NavReserved05(p));
  EXPECT_EQ(E_POINTER, n->NavReserved05(nullptr));
  EXPECT_EQ(E_NOTIMPL, n->NavReserved06(p, 0, 0, 0, 0));
  EXPECT_EQ(E_POINTER, n->NavReserved06(nullptr, 1, 1, 1, 1));
  EXPECT_EQ(E_NOTIMPL, n->NavReserved07(0, 0, p, p));
  EXPECT_EQ(E_POINTER, n->NavReserved07(0, 0, nullptr, p));
  EXPECT_EQ(E_POINTER, n->NavReserved07(0, 0, p, nullptr));
  EXPECT_EQ(E_NOTIMPL, n->NavReserved08(0, 0, p, p));
  EXPECT_EQ(E_POINTER, n->NavReserved08(0, 0, nullptr, p));
  EXPECT_EQ(E_POINTER, n->NavReserved08(0, 0, p, nullptr));
  EXPECT_EQ(E_NOTIMPL, n->NavReserved11(p, p));
  EXPECT_EQ(E_POINTER, n->NavReserved11(nullptr, p));
  EXPECT_EQ(E_POINTER, n->NavReserved11(p, nullptr));
  EXPECT_EQ(E_NOTIMPL, n->NavReserved12(0, 0, p));
  EXPECT_EQ(E_POINTER, n->NavReserved12(0, 0, nullptr));
  EXPECT_EQ(E_NOTIMPL, n->NavReserved13(0, p, p, 0, 0));
  EXPECT_EQ(E_POINTER, n->NavReserved13(0, nullptr, p, 0, 0));
  EXPECT_EQ(E_POINTER, n->NavReserved13(0, p, nullptr, 0, 0));
  EXPECT_EQ(E_NOTIMPL, n->NavReserved14(0, 0, 0, 0, 0, 0));
  EXPECT_EQ(E_NOTIMPL, n->NavReserved16(0));
  EXPECT_EQ(E_NOTIMPL, n->NavReserved17(0, 0, 0, 0, 0));
  EXPECT_EQ(E_NOTIMPL, n->NavReserved18(0));
  EXPECT_EQ(E_NOTIMPL, n->NavReserved21(0));
  EXPECT_EQ(E_NOTIMPL, n->NavReserved22(0, 0, 0, 0, 0));
  EXPECT_EQ(0, target) << "nothing is written through the pointers";
}

TEST_F(NavigatorTest, Slots19And20SucceedForAnyArguments) {
  IKivFileNavigator* n = m_navigator.get();
  for (LONG v : {0L, 1L, -1L, 0x7fffffffL}) {
    EXPECT_EQ(S_OK, n->NavReserved19(v, v));
    EXPECT_EQ(S_OK, n->NavReserved20(v, v, v, v));
  }
}

TEST_F(NavigatorTest, QueryInterfaceAnswersTheNavigatorsInterfacesOnly) {
  ComPtr<ITvdFile> own;
  ComPtr<IUnknown> identity, again;
  EXPECT_EQ(S_OK, m_navigator->QueryInterface(IID_ITvdFile, own.put_void()));
  EXPECT_EQ(S_OK, m_navigator->QueryInterface(IID_IUnknown, identity.put_void()));
  EXPECT_EQ(S_OK, own->QueryInterface(IID_IUnknown, again.put_void()));
  EXPECT_EQ(identity.get(), again.get());
  void* out = reinterpret_cast<void*>(1);
  // Bound to its apartment: no free-threaded marshaler here.
  EXPECT_EQ(E_NOINTERFACE, m_navigator->QueryInterface(IID_IMarshal, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(E_NOINTERFACE, m_navigator->QueryInterface(IID_IKivFileFormat, &out));
}

// Saving converts a file of an older generation to the newest one.
class OlderGenerationTest : public DllFixture, public ::testing::WithParamInterface<int> {
 protected:
  void ReleaseAll() override { m_format.Reset(); }
  ComPtr<IKivFileFormat> m_format;
  TempFolder m_dir;
};

TEST_P(OlderGenerationTest, SavedFileComesBackAsVersion2) {
  ASSERT_EQ(S_OK, m_dll.CreateFormat(m_format.put()));
  const std::wstring path = m_dir.Write(L"old.tvd", TvdBytes(GetParam())
                                                        .Block(L"Title", 2)
                                                        .Text(L"Name", L"Caf\u00e9")
                                                        .Text(L"Rev", L"B")
                                                        .bytes());
  {
    ComPtr<IKivFileNavigator> navigator;
    ASSERT_EQ(S_OK, m_format->OpenFile(path.c_str(), 0, navigator.put()));
    ASSERT_EQ(S_OK, navigator->Save());
  }
  const std::vector<uint8_t> saved = ReadFile(path);
  EXPECT_EQ(TvdBytes(2).Block(L"Title", 2).Text(L"Name", L"Caf\u00e9").Text(L"Rev", L"B").bytes(),
            saved);
  ComPtr<IKivFileNavigator> navigator;
  ASSERT_EQ(S_OK, m_format->OpenFile(path.c_str(), 0, navigator.put()));
  Records records(1);
  records.Name(0, L"Title", L"Name");
  ASSERT_EQ(S_OK, navigator->GetValues(0, 0, 0, 1, records.data()));
  EXPECT_EQ(L"Caf\u00e9", TextOf(records[0].value));
}

INSTANTIATE_TEST_SUITE_P(Generations, OlderGenerationTest, ::testing::Values(0, 1));

}  // namespace
