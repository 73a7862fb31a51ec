// The format object through the host's IKivFileFormat, created from the
// class object of the real library.
#include "DllFixture.h"
#include "Records.h"
#include "TempFolder.h"
#include "TvdBytes.h"

#include <gtest/gtest.h>

namespace {

IKivFileNavigator* const kGarbage = reinterpret_cast<IKivFileNavigator*>(0x1234);

class FormatObjectTest : public DllFixture {
 protected:
  void SetUp() override {
    DllFixture::SetUp();
    ASSERT_EQ(S_OK, m_dll.CreateFormat(m_format.put()));
  }
  void ReleaseAll() override { m_format.Reset(); }

  // OpenFile's result, checking that a failure leaves the out pointer null.
  HRESULT Open(const std::wstring& path) {
    IKivFileNavigator* navigator = kGarbage;
    const HRESULT hr = m_format->OpenFile(path.c_str(), 0, &navigator);
    if (FAILED(hr)) {
      EXPECT_EQ(nullptr, navigator) << "a failed OpenFile must leave the out pointer null";
    } else if (navigator && navigator != kGarbage) {
      navigator->Release();
    }
    return hr;
  }

  ComPtr<IKivFileFormat> m_format;
  TempFolder m_dir;
};

TEST_F(FormatObjectTest, GetInfoFillsEveryOutThatIsGiven) {
  BSTR maker = nullptr, description = nullptr, extensions = nullptr;
  ASSERT_EQ(S_OK, m_format->GetInfo(&maker, &description, &extensions));
  EXPECT_STREQ(L"FERROLANTH", maker);
  EXPECT_STREQ(L"File format plugins for virtual files.", description);
  EXPECT_STREQ(L"tvd", extensions);
  SysFreeString(maker);
  SysFreeString(description);
  SysFreeString(extensions);
}

TEST_F(FormatObjectTest, GetInfoSkipsNullOuts) {
  EXPECT_EQ(S_OK, m_format->GetInfo(nullptr, nullptr, nullptr));
  BSTR extensions = nullptr;
  ASSERT_EQ(S_OK, m_format->GetInfo(nullptr, nullptr, &extensions));
  EXPECT_STREQ(L"tvd", extensions);
  EXPECT_EQ(3u, SysStringLen(extensions));
  SysFreeString(extensions);
}

TEST_F(FormatObjectTest, CapabilitiesAreTwelveWhateverTheExtension) {
  for (const wchar_t* extension : {L"tvd", L"", L"doc", static_cast<const wchar_t*>(nullptr)}) {
    ULONG flags = 0;
    EXPECT_EQ(S_OK, m_format->GetCapabilities(extension, &flags));
    EXPECT_EQ(0x0000000Cu, flags);
  }
  EXPECT_EQ(E_POINTER, m_format->GetCapabilities(L"tvd", nullptr));
}

TEST_F(FormatObjectTest, UnsupportedSlotsAnswerNotImplemented) {
  EXPECT_EQ(E_NOTIMPL, m_format->FormatReserved7(0, 0));
  EXPECT_EQ(E_NOTIMPL, m_format->FormatReserved7(-1, 0x7fffffff));
}

TEST_F(FormatObjectTest, OpenFileWithoutOutPointerIsRefused) {
  const std::wstring path = m_dir.Write(L"a.tvd", TvdBytes(2).Block(L"B", 0).bytes());
  EXPECT_EQ(E_POINTER, m_format->OpenFile(path.c_str(), 0, nullptr));
}

TEST_F(FormatObjectTest, OpenFileOfAMissingFileCannotOpen) {
  EXPECT_EQ(KIV_E_CANNOT_OPEN, Open(m_dir.File(L"missing.tvd")));
  EXPECT_EQ(KIV_E_CANNOT_OPEN, Open(L""));
}

TEST_F(FormatObjectTest, OpenFileOfANullPathCannotOpen) {
  IKivFileNavigator* navigator = kGarbage;
  EXPECT_EQ(KIV_E_CANNOT_OPEN, m_format->OpenFile(nullptr, 0, &navigator));
  EXPECT_EQ(nullptr, navigator);
}

TEST_F(FormatObjectTest, OpenFileOfADirectoryCannotOpen) {
  EXPECT_EQ(KIV_E_CANNOT_OPEN, Open(m_dir.path()));
}

TEST_F(FormatObjectTest, OpenFileOfAVeryLongPathCannotOpen) {
  std::wstring path = m_dir.path() + L"\\";
  path.append(32000 - path.size(), L'x');
  EXPECT_EQ(KIV_E_CANNOT_OPEN, Open(path));
  std::wstring deep = m_dir.path();
  while (deep.size() < 32000) deep += L"\\abcdefgh";
  EXPECT_EQ(KIV_E_CANNOT_OPEN, Open(deep));
}

TEST_F(FormatObjectTest, OpenFileOfAFileHeldByAWriterCannotOpen) {
  const std::wstring path = m_dir.Write(L"held.tvd", TvdBytes(2).bytes());
  HANDLE writer =
      CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  EXPECT_EQ(KIV_E_CANNOT_OPEN, Open(path));
  CloseHandle(writer);
  EXPECT_EQ(S_OK, Open(path));
}

TEST_F(FormatObjectTest, OpenFileOfAnEmptyFileGivesAnEmptyDocument) {
  const std::wstring path = m_dir.Write(L"empty.tvd", {});
  ComPtr<IKivFileNavigator> navigator;
  ASSERT_EQ(S_OK, m_format->OpenFile(path.c_str(), 0, navigator.put()));
  ASSERT_TRUE(navigator);
  Records records(1);
  records.Name(0, L"", L"*");
  records[0].found = 7;
  ASSERT_EQ(S_OK, navigator->GetValues(0, 0, 0, 1, records.data()));
  EXPECT_EQ(0, records[0].found);
}

TEST_F(FormatObjectTest, OpenFileOfAForeignFileIsBadFormat) {
  std::vector<uint8_t> foreign(64, 'x');
  EXPECT_EQ(KIV_E_BAD_FORMAT, Open(m_dir.Write(L"foreign.tvd", foreign)));
  std::vector<uint8_t> shortHeader = NewestHeader();
  shortHeader.resize(29);
  EXPECT_EQ(KIV_E_BAD_FORMAT, Open(m_dir.Write(L"short.tvd", shortHeader)));
  std::vector<uint8_t> version3 = NewestHeader();
  version3[30] = 3;
  EXPECT_EQ(KIV_E_BAD_FORMAT, Open(m_dir.Write(L"v3.tvd", version3)));
}

TEST_F(FormatObjectTest, OpenFileOfATruncatedFileIsBadFormat) {
  const std::vector<uint8_t> whole =
      TvdBytes(2).Block(L"Title", 2).Text(L"Name", L"Bracket").Int(L"Count", 3).bytes();
  ASSERT_EQ(S_OK, Open(m_dir.Write(L"whole.tvd", whole)));
  // Every prefix that cuts into the body fails; none of them crashes.
  for (size_t n = 1; n < whole.size(); ++n) {
    std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(n));
    EXPECT_EQ(KIV_E_BAD_FORMAT, Open(m_dir.Write(L"cut.tvd", cut)))
        << "prefix of " << n << " bytes";
  }
}

TEST_F(FormatObjectTest, QueryInterfaceAnswersTheListedInterfacesOnly) {
  ComPtr<ITvdFormat> own;
  ComPtr<IUnknown> identity, again;
  EXPECT_EQ(S_OK, m_format->QueryInterface(IID_ITvdFormat, own.put_void()));
  EXPECT_EQ(S_OK, m_format->QueryInterface(IID_IUnknown, identity.put_void()));
  EXPECT_EQ(S_OK, own->QueryInterface(IID_IUnknown, again.put_void()));
  EXPECT_EQ(identity.get(), again.get());
  ComPtr<IMarshal> marshal;
  EXPECT_EQ(S_OK, m_format->QueryInterface(IID_IMarshal, marshal.put_void()));
  void* out = kGarbage;
  EXPECT_EQ(E_NOINTERFACE, m_format->QueryInterface(IID_IKivFileNavigator, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(E_NOINTERFACE, m_format->QueryInterface(IID_IDispatch, &out));
  EXPECT_EQ(E_POINTER, m_format->QueryInterface(IID_IUnknown, nullptr));
}

TEST_F(FormatObjectTest, NavigatorsOutliveTheFormatObject) {
  const std::wstring path = m_dir.Write(L"a.tvd", TvdBytes(2).Block(L"B", 1).Int(L"N", 5).bytes());
  ComPtr<IKivFileNavigator> navigator;
  ASSERT_EQ(S_OK, m_format->OpenFile(path.c_str(), 0, navigator.put()));
  m_format.Reset();
  EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow());
  Records records(1);
  records.Name(0, L"B", L"N");
  ASSERT_EQ(S_OK, navigator->GetValues(0, 0, 0, 1, records.data()));
  EXPECT_EQ(5, V_I4(&records[0].value));
}

// The preview itself is tested in tests/preview; here only that the slot
// answers: without a parent there is no window, but there is a preview.
TEST_F(FormatObjectTest, PreviewWithoutParentIsAPreviewWithoutWindow) {
  RECT rect = {0, 0, 10, 10};
  IKivFilePreview* preview = nullptr;
  EXPECT_EQ(S_OK, m_format->CreatePreview(nullptr, &rect, 0, 0, &preview));
  ASSERT_NE(nullptr, preview);
  EXPECT_EQ(S_OK, preview->Hide());
  preview->Release();
}

}  // namespace
