// A save either replaces the whole file or changes nothing at all.
#include "FileSaver.h"
#include "VirtualDocument.h"

#include "TempFolder.h"
#include "TvdBytes.h"
#include "UniqueHandle.h"
#include "Var.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <aclapi.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

class SaveSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(m_file, TvdBytes()
                          .Magic("Tavorin Virtual Document x.xx")
                          .U32(2)
                          .U32(1)
                          .Wide(u"Card")
                          .U32(1)
                          .Wide(u"Title")
                          .U16(8)
                          .Wide(u"Pump")
                          .bytes());
    m_original = ReadFile(m_file);
    ASSERT_EQ(m_doc.Load(Wide(m_file).c_str()), DocStatus::Ok);
    Var v;
    Var::Text(v, OLESTR("Valve"));
    m_doc.SetValue(OLESTR("Card"), OLESTR("Title"), &v);
  }
  void TearDown() override { FileSaver::SetWriteLimitForTesting(-1); }

  std::string Title() {
    Var v;
    m_doc.GetValue(OLESTR("Card"), OLESTR("Title"), &v);
    return Utf8(v);
  }
  // Nothing but the document itself in the folder: no temporary left.
  size_t FilesInFolder() const {
    size_t n = 0;
    for (auto& entry : fs::directory_iterator(m_file.parent_path())) n += entry.is_regular_file();
    return n;
  }
  void ExpectUnchanged() {
    EXPECT_EQ(ReadFile(m_file), m_original);
    EXPECT_EQ(Title(), "Valve");  // the unsaved change is still there to retry
    EXPECT_EQ(FilesInFolder(), 1u);
  }

  TempFolder m_scratch;
  fs::path m_file = m_scratch.Path("doc.tvd");
  Bytes m_original;
  VirtualDocument m_doc;
};

TEST_F(SaveSafety, AWriteFaultLeavesFileAndDocumentAsTheyWere) {
  for (long long limit : {0LL, 1LL, 37LL, 60LL}) {
    SCOPED_TRACE(limit);
    FileSaver::SetWriteLimitForTesting(limit);
    EXPECT_EQ(m_doc.Save(), DocStatus::WriteFailed);
    ExpectUnchanged();
  }
  FileSaver::SetWriteLimitForTesting(-1);
  EXPECT_EQ(m_doc.Save(), DocStatus::Ok);
  VirtualDocument again;
  ASSERT_EQ(again.Load(Wide(m_file).c_str()), DocStatus::Ok);
  Var v;
  again.GetValue(OLESTR("Card"), OLESTR("Title"), &v);
  EXPECT_EQ(Utf8(v), "Valve");
}

TEST_F(SaveSafety, AValueWithoutTextFormFailsTheSaveBeforeTouchingTheFile) {
  Var v;
  v.vt = VT_NULL;
  m_doc.SetValue(OLESTR("Card"), OLESTR("Nothing"), &v);
  EXPECT_EQ(m_doc.Save(), DocStatus::WriteFailed);
  EXPECT_EQ(ReadFile(m_file), m_original);
  EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(SaveSafety, AReadOnlyFileCannotBeOpened) {
  fs::permissions(m_file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_EQ(m_doc.Save(), DocStatus::CannotOpen);
  ExpectUnchanged();
}

TEST_F(SaveSafety, SaveCreatesAMissingFileButNotAMissingFolder) {
  m_doc.SetPath(Wide(m_scratch.Path("new.tvd")).c_str());
  EXPECT_EQ(m_doc.Save(), DocStatus::Ok);
  EXPECT_EQ(ReadFile(m_scratch.Path("new.tvd")).size(), 38u + 12u + 4u + 14u + 2u + 14u);
  m_doc.SetPath(Wide(m_scratch.Path("no/such/folder.tvd")).c_str());
  EXPECT_EQ(m_doc.Save(), DocStatus::CannotOpen);
}

TEST_F(SaveSafety, RelativePathsSaveBesideTheFile) {
  const fs::path before = fs::current_path();
  fs::current_path(m_file.parent_path());
  VirtualDocument relative;
  const DocStatus loaded = relative.Load(OLESTR("doc.tvd"));
  Var v;
  Var::I4(v, 9);
  relative.SetValue(OLESTR("Card"), OLESTR("N"), &v);
  const DocStatus saved = relative.Save();
  fs::current_path(before);
  EXPECT_EQ(loaded, DocStatus::Ok);
  EXPECT_EQ(saved, DocStatus::Ok);
  EXPECT_NE(ReadFile(m_file), m_original);
  EXPECT_EQ(FilesInFolder(), 1u);
}

// A new file that someone else creates while the saver works is theirs: the
// save fails rather than replacing it.
TEST_F(SaveSafety, ANewFileMadeMeanwhileIsNotReplaced) {
  const fs::path fresh = m_scratch.Path("fresh.tvd");
  FileSaver saver;
  ASSERT_TRUE(saver.Open(Wide(fresh).c_str()));
  WriteFile(fresh, {1, 2, 3});
  const uint8_t content[] = {9, 9};
  EXPECT_FALSE(saver.Commit(content, sizeof content));
  EXPECT_EQ(ReadFile(fresh), (Bytes{1, 2, 3}));
}

TEST_F(SaveSafety, AFolderIsNotAFile) {
  fs::create_directory(m_scratch.Path("folder.tvd"));
  EXPECT_EQ(m_doc.Load(Wide(m_scratch.Path("folder.tvd")).c_str()), DocStatus::CannotOpen);
  EXPECT_EQ(m_doc.Save(), DocStatus::CannotOpen);
}

#ifdef _WIN32

// A handle that holds the file open with the given share mode.
UniqueFile Hold(const fs::path& path, DWORD access, DWORD share) {
  return UniqueFile(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

TEST_F(SaveSafety, ALockedFileCannotBeOpened) {
  {
    const UniqueFile other = Hold(m_file, GENERIC_READ, FILE_SHARE_READ);  // refuses writers
    ASSERT_NE(other.get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(m_doc.Save(), DocStatus::CannotOpen);
    ExpectUnchanged();
  }
  {
    const UniqueFile writer = Hold(m_file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    VirtualDocument reader;
    EXPECT_EQ(reader.Load(Wide(m_file).c_str()), DocStatus::CannotOpen);  // writers are refused
  }
  {
    const UniqueFile reader = Hold(m_file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    VirtualDocument other;
    EXPECT_EQ(other.Load(Wide(m_file).c_str()), DocStatus::Ok);  // readers are welcome
  }
  EXPECT_EQ(m_doc.Save(), DocStatus::Ok);
}

TEST_F(SaveSafety, SavingKeepsTheFileAttributes) {
  ASSERT_TRUE(SetFileAttributesW(m_file.c_str(), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(m_doc.Save(), DocStatus::Ok);
  EXPECT_TRUE(GetFileAttributesW(m_file.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_NE(ReadFile(m_file), m_original);
}

#else

TEST_F(SaveSafety, ALockedFileCannotBeOpened) {
  UniqueFd fd(open(m_file.c_str(), O_RDONLY));
  ASSERT_GE(fd.get(), 0);
  ASSERT_EQ(flock(fd.get(), LOCK_SH), 0);  // another reader, which keeps writers out
  EXPECT_EQ(m_doc.Save(), DocStatus::CannotOpen);
  ExpectUnchanged();
  VirtualDocument reader;
  EXPECT_EQ(reader.Load(Wide(m_file).c_str()), DocStatus::Ok);  // readers share
  ASSERT_EQ(flock(fd.get(), LOCK_UN), 0);
  ASSERT_EQ(flock(fd.get(), LOCK_EX), 0);  // a writer keeps readers out
  EXPECT_EQ(reader.Load(Wide(m_file).c_str()), DocStatus::CannotOpen);
  fd.reset();
  EXPECT_EQ(m_doc.Save(), DocStatus::Ok);
}

// Opening a FIFO would wait for a writer forever; it is simply not a file.
TEST_F(SaveSafety, AFifoIsNotAFileAndDoesNotHang) {
  const fs::path fifo = m_scratch.Path("fifo.tvd");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  VirtualDocument doc;
  EXPECT_EQ(doc.Load(Wide(fifo).c_str()), DocStatus::CannotOpen);
  EXPECT_EQ(doc.Save(), DocStatus::CannotOpen);
  EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST_F(SaveSafety, SavingKeepsPermissionsAndSymbolicLinks) {
  fs::permissions(m_file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const fs::path link = m_scratch.Path("link.tvd");
  fs::create_symlink(m_file, link);
  ASSERT_EQ(m_doc.Load(Wide(link).c_str()), DocStatus::Ok);
  Var v;
  Var::I4(v, 5);
  m_doc.SetValue(OLESTR("Card"), OLESTR("N"), &v);
  EXPECT_EQ(m_doc.Save(), DocStatus::Ok);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::status(m_file).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_NE(ReadFile(m_file), m_original);
  EXPECT_EQ(ReadFile(link), ReadFile(m_file));
}

#endif

}  // namespace
