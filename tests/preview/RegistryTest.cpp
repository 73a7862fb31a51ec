// Registry reading against Wine's real registry, under a key of the test's
// own that is removed afterwards.
#include "ReadRegistryString.h"
#include "Registry.h"
#include "SharedKey.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

const wchar_t kTestKey[] = L"Software\\VellistoTests\\Registry";

// QueryString of a freshly opened Registry on the test key.
bool Query(const wchar_t* name, std::wstring& text, LONG* lastError = nullptr) {
  Registry registry;
  if (!registry.Open(HKEY_CURRENT_USER, kTestKey, KEY_READ)) return false;
  const bool read = registry.QueryString(name, text);
  if (lastError) *lastError = registry.LastError();
  return read;
}

struct HugeReads {
  std::wstring plain, expanded;
  bool plainRead = false, expandedRead = false;
};

DWORD WINAPI ReadHugeValues(void* param) {
  auto* reads = static_cast<HugeReads*>(param);
  reads->plainRead = Query(L"Huge", reads->plain);
  reads->expandedRead = Query(L"HugeExpand", reads->expanded);
  return 0;
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &key, nullptr),
              ERROR_SUCCESS);
    m_key.reset(key);
  }
  void TearDown() override {
    m_key.reset();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
  }

  // Stores exactly `bytes` bytes of text; the unit after them is never zero,
  // so the registry cannot add a terminator of its own.
  void SetRaw(const wchar_t* name, DWORD type, const std::wstring& text, DWORD bytes) {
    std::wstring stored = text + L"XX";
    ASSERT_LE(bytes, text.size() * sizeof(wchar_t));
    ASSERT_EQ(::RegSetValueExW(m_key.get(), name, 0, type,
                               reinterpret_cast<const BYTE*>(stored.c_str()), bytes),
              ERROR_SUCCESS);
  }
  void SetString(const wchar_t* name, DWORD type, const std::wstring& text) {
    ASSERT_EQ(
        ::RegSetValueExW(m_key.get(), name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
        ERROR_SUCCESS);
  }
  void SetNumber(const wchar_t* name, DWORD value) {
    ASSERT_EQ(::RegSetValueExW(m_key.get(), name, 0, REG_DWORD,
                               reinterpret_cast<const BYTE*>(&value), sizeof value),
              ERROR_SUCCESS);
  }
  UniqueKey m_key;  // owned: the test key, for writing values
};

TEST_F(RegistryTest, OpenOfAMissingKeyFailsWithFileNotFoundAndQueriesFail) {
  Registry registry;
  EXPECT_EQ(registry.LastError(), 0);
  EXPECT_FALSE(registry.Open(HKEY_CURRENT_USER, L"Software\\VellistoTests\\NoSuchKey", KEY_READ));
  EXPECT_EQ(registry.LastError(), ERROR_FILE_NOT_FOUND);
  std::wstring text = L"unchanged";
  EXPECT_FALSE(registry.QueryString(L"Location", text));
  EXPECT_EQ(text, L"unchanged");
  EXPECT_NE(registry.LastError(), 0);
}

TEST_F(RegistryTest, CloseSucceedsOnceAndThenKeepsTheLastStatus) {
  Registry registry;
  ASSERT_TRUE(registry.Open(HKEY_CURRENT_USER, kTestKey, KEY_READ));
  EXPECT_EQ(registry.LastError(), 0);
  EXPECT_TRUE(registry.Close());
  std::wstring text;
  EXPECT_FALSE(registry.QueryString(L"Missing", text));
  const LONG failed = registry.LastError();
  EXPECT_NE(failed, 0);
  EXPECT_TRUE(registry.Close()) << "nothing to close";
  EXPECT_EQ(registry.LastError(), failed);
}

TEST_F(RegistryTest, PlainStringIsRead) {
  SetString(L"Location", REG_SZ, L"C:\\Host");
  std::wstring text;
  LONG status = -1;
  EXPECT_TRUE(Query(L"Location", text, &status));
  EXPECT_EQ(text, L"C:\\Host");
  EXPECT_EQ(status, 0);
}

TEST_F(RegistryTest, StringStoredWithoutTerminatorIsReadWhole) {
  SetRaw(L"Even", REG_SZ, L"C:\\Host", 14);
  SetRaw(L"Odd", REG_SZ, L"abcd", 7);  // the last unit is cut in half
  std::wstring text;
  EXPECT_TRUE(Query(L"Even", text));
  EXPECT_EQ(text, L"C:\\Host");
  EXPECT_TRUE(Query(L"Odd", text));
  EXPECT_EQ(text, std::wstring(L"abc") + wchar_t(L'd' & 0xFF));
}

TEST_F(RegistryTest, ZeroLengthStringGivesEmptyText) {
  ASSERT_EQ(::RegSetValueExW(m_key.get(), L"Empty", 0, REG_SZ, nullptr, 0), ERROR_SUCCESS);
  std::wstring text = L"before";
  EXPECT_TRUE(Query(L"Empty", text));
  EXPECT_EQ(text, L"");
}

TEST_F(RegistryTest, ExpandableStringIsExpanded) {
  ::SetEnvironmentVariableW(L"VELLISTO_TEST_HOST", L"D:\\Apps\\Host");
  SetString(L"Location", REG_EXPAND_SZ, L"%VELLISTO_TEST_HOST%\\bin");
  SetRaw(L"Unterminated", REG_EXPAND_SZ, L"%VELLISTO_TEST_HOST%", 40);
  std::wstring text;
  EXPECT_TRUE(Query(L"Location", text));
  EXPECT_EQ(text, L"D:\\Apps\\Host\\bin");
  EXPECT_TRUE(Query(L"Unterminated", text));
  EXPECT_EQ(text, L"D:\\Apps\\Host");
  ::SetEnvironmentVariableW(L"VELLISTO_TEST_HOST", nullptr);
}

TEST_F(RegistryTest, NonStringValuesAreRefusedWithSuccessStatus) {
  SetNumber(L"Number", 42);
  const BYTE bytes[] = {'a', 0, 'b', 0, 0, 0};
  ASSERT_EQ(::RegSetValueExW(m_key.get(), L"Binary", 0, REG_BINARY, bytes, sizeof bytes),
            ERROR_SUCCESS);
  for (const wchar_t* name : {L"Number", L"Binary"}) {
    std::wstring text = L"unchanged";
    LONG status = -1;
    EXPECT_FALSE(Query(name, text, &status));
    EXPECT_EQ(status, 0) << "the type query itself succeeded";
    EXPECT_EQ(text, L"unchanged");
  }
}

TEST_F(RegistryTest, MissingValueFailsWithFileNotFound) {
  std::wstring text = L"unchanged";
  LONG status = -1;
  EXPECT_FALSE(Query(L"Missing", text, &status));
  EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(text, L"unchanged");
}

TEST_F(RegistryTest, StringsAroundTheStackBufferSizeAreReadWhole) {
  for (size_t length : {510u, 511u, 512u, 513u, 1024u}) {
    const std::wstring value(length, L'v');
    SetString(L"Terminated", REG_SZ, value);
    SetRaw(L"Unterminated", REG_SZ, value, static_cast<DWORD>(length * sizeof(wchar_t)));
    std::wstring text;
    EXPECT_TRUE(Query(L"Terminated", text));
    EXPECT_EQ(text, value) << length;
    EXPECT_TRUE(Query(L"Unterminated", text));
    EXPECT_EQ(text, value) << length;
  }
}

// A value larger than a thread's whole stack (the system gives a thread at
// least 1 MiB however little is asked for): a buffer sized from the value's
// length must not come from the stack. The system expands at most 32 Ki
// units, hence the smaller expandable value.
TEST_F(RegistryTest, HugeValueDoesNotOverflowTheStack) {
  const std::wstring value(1 << 20, L'h');
  SetString(L"Huge", REG_SZ, value);
  const std::wstring part(16000, L'e');
  ::SetEnvironmentVariableW(L"VELLISTO_TEST_HUGE", part.c_str());
  SetString(L"HugeExpand", REG_EXPAND_SZ, L"%VELLISTO_TEST_HUGE%%VELLISTO_TEST_HUGE%");

  HugeReads job;
  HANDLE thread = ::CreateThread(nullptr, 64 * 1024, ReadHugeValues, &job,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(::WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  ::GetExitCodeThread(thread, &exitCode);
  ::CloseHandle(thread);
  ::SetEnvironmentVariableW(L"VELLISTO_TEST_HUGE", nullptr);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_TRUE(job.plainRead);
  EXPECT_EQ(job.plain.size(), value.size());
  EXPECT_TRUE(job.expandedRead);
  EXPECT_EQ(job.expanded, part + part);
}

class ReadRegistryStringTest : public RegistryTest {};

TEST_F(ReadRegistryStringTest, ReadsAPlainStringAndTheDefaultValue) {
  SetString(L"Name", REG_SZ, L"Quilmoor");
  SetString(nullptr, REG_SZ, L"Default name");
  std::wstring text;
  EXPECT_TRUE(ReadRegistryString(HKEY_CURRENT_USER, kTestKey, L"Name", text));
  EXPECT_EQ(text, L"Quilmoor");
  EXPECT_TRUE(ReadRegistryString(HKEY_CURRENT_USER, kTestKey, nullptr, text));
  EXPECT_EQ(text, L"Default name");
}

TEST_F(ReadRegistryStringTest, RefusesMissingKeysValuesAndOtherTypes) {
  SetString(L"Expand", REG_EXPAND_SZ, L"%WINDIR%");
  SetNumber(L"Number", 7);
  std::wstring text = L"unchanged";
  EXPECT_FALSE(
      ReadRegistryString(HKEY_CURRENT_USER, L"Software\\VellistoTests\\NoSuchKey", L"Name", text));
  EXPECT_FALSE(ReadRegistryString(HKEY_CURRENT_USER, kTestKey, L"Missing", text));
  EXPECT_FALSE(ReadRegistryString(HKEY_CURRENT_USER, kTestKey, L"Expand", text));
  EXPECT_FALSE(ReadRegistryString(HKEY_CURRENT_USER, kTestKey, L"Number", text));
  EXPECT_EQ(text, L"unchanged");
}

TEST_F(ReadRegistryStringTest, ValueLongerThan1024BytesFails) {
  SetString(L"Long", REG_SZ, std::wstring(1024, L'l'));
  SetString(L"JustOver", REG_SZ, std::wstring(512, L'l'));  // 1026 bytes with its zero
  std::wstring text = L"unchanged";
  EXPECT_FALSE(ReadRegistryString(HKEY_CURRENT_USER, kTestKey, L"Long", text));
  EXPECT_FALSE(ReadRegistryString(HKEY_CURRENT_USER, kTestKey, L"JustOver", text));
  EXPECT_EQ(text, L"unchanged");
}

TEST_F(ReadRegistryStringTest, ValueFillingAll1024BytesIsReadWithoutOverrun) {
  const std::wstring full(512, L'f');
  SetRaw(L"Full", REG_SZ, full, 1024);
  SetString(L"Fits", REG_SZ, std::wstring(511, L'f'));  // 1024 bytes with its zero
  std::wstring text;
  EXPECT_TRUE(ReadRegistryString(HKEY_CURRENT_USER, kTestKey, L"Full", text));
  EXPECT_EQ(text, full);
  EXPECT_TRUE(ReadRegistryString(HKEY_CURRENT_USER, kTestKey, L"Fits", text));
  EXPECT_EQ(text, std::wstring(511, L'f'));
}

class SharedKeyTest : public RegistryTest {
 protected:
  // The value "Location" as the shared key reads it; "(none)" when it cannot
  // be read.
  std::wstring Location() {
    std::wstring text;
    return m_shared.Read([&](Registry& key) { return key.QueryString(L"Location", text); })
               ? text
               : L"(none)";
  }
  void Recreate(const wchar_t* location) {
    m_key.reset();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);  // the key too, if it is there
    if (!location) return;
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &key, nullptr),
              ERROR_SUCCESS);
    m_key.reset(key);
    SetString(L"Location", REG_SZ, location);
  }
  SharedKey m_shared{HKEY_CURRENT_USER, kTestKey};
};

TEST_F(SharedKeyTest, EveryReadSeesTheKeyTheNameNamesNow) {
  SetString(L"Location", REG_SZ, L"C:\\One");
  EXPECT_EQ(Location(), L"C:\\One");
  SetString(L"Location", REG_SZ, L"C:\\Two");
  EXPECT_EQ(Location(), L"C:\\Two") << "a changed value";
  ::RegDeleteValueW(m_key.get(), L"Location");
  EXPECT_EQ(Location(), L"(none)") << "a deleted value";
  Recreate(nullptr);
  EXPECT_EQ(Location(), L"(none)") << "a deleted key";
  EXPECT_EQ(Location(), L"(none)") << "still deleted";
  Recreate(L"C:\\Three");
  EXPECT_EQ(Location(), L"C:\\Three") << "a key made again";
  Recreate(L"C:\\Four");
  EXPECT_EQ(Location(), L"C:\\Four") << "deleted and made again between two reads";
}

}  // namespace
