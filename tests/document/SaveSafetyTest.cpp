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
    WriteFile(file_, TvdBytes().Magic("Tavorin Virtual Document x.xx").U32(2).U32(1)
                         .Wide(u"Card").U32(1).Wide(u"Title").U16(8).Wide(u"Pump").bytes());
    original_ = ReadFile(file_);
    ASSERT_EQ(doc_.Load(Wide(file_).c_str()), DocStatus::Ok);
    Var v;
    Var::Text(v, OLESTR("Valve"));
    doc_.SetValue(OLESTR("Card"), OLESTR("Title"), &v);
  }
  void TearDown() override { FileSaver::SetWriteLimitForTesting(-1); }

  std::string Title() {
    Var v;
    doc_.GetValue(OLESTR("Card"), OLESTR("Title"), &v);
    return Utf8(v);
  }
  // Nothing but the document itself in the folder: no temporary left.
  size_t FilesInFolder() const {
    size_t n = 0;
    for (auto& entry : fs::directory_iterator(file_.parent_path())) n += entry.is_regular_file();
    return n;
  }
  void ExpectUnchanged() {
    EXPECT_EQ(ReadFile(file_), original_);
    EXPECT_EQ(Title(), "Valve");  // the unsaved change is still there to retry
    EXPECT_EQ(FilesInFolder(), 1u);
  }

  TempFolder scratch_;
  fs::path file_ = scratch_.Path("doc.tvd");
  Bytes original_;
  VirtualDocument doc_;
};

TEST_F(SaveSafety, AWriteFaultLeavesFileAndDocumentAsTheyWere) {
  for (long long limit : {0LL, 1LL, 37LL, 60LL}) {
    SCOPED_TRACE(limit);
    FileSaver::SetWriteLimitForTesting(limit);
    EXPECT_EQ(doc_.Save(), DocStatus::WriteFailed);
    ExpectUnchanged();
  }
  FileSaver::SetWriteLimitForTesting(-1);
  EXPECT_EQ(doc_.Save(), DocStatus::Ok);
  VirtualDocument again;
  ASSERT_EQ(again.Load(Wide(file_).c_str()), DocStatus::Ok);
  Var v;
  again.GetValue(OLESTR("Card"), OLESTR("Title"), &v);
  EXPECT_EQ(Utf8(v), "Valve");
}

TEST_F(SaveSafety, AValueWithoutTextFormFailsTheSaveBeforeTouchingTheFile) {
  Var v;
  v.vt = VT_NULL;
  doc_.SetValue(OLESTR("Card"), OLESTR("Nothing"), &v);
  EXPECT_EQ(doc_.Save(), DocStatus::WriteFailed);
  EXPECT_EQ(ReadFile(file_), original_);
  EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(SaveSafety, AReadOnlyFileCannotBeOpened) {
  fs::permissions(file_, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_EQ(doc_.Save(), DocStatus::CannotOpen);
  ExpectUnchanged();
}

TEST_F(SaveSafety, SaveCreatesAMissingFileButNotAMissingFolder) {
  doc_.SetPath(Wide(scratch_.Path("new.tvd")).c_str());
  EXPECT_EQ(doc_.Save(), DocStatus::Ok);
  EXPECT_EQ(ReadFile(scratch_.Path("new.tvd")).size(), 38u + 12u + 4u + 14u + 2u + 14u);
  doc_.SetPath(Wide(scratch_.Path("no/such/folder.tvd")).c_str());
  EXPECT_EQ(doc_.Save(), DocStatus::CannotOpen);
}

TEST_F(SaveSafety, RelativePathsSaveBesideTheFile) {
  const fs::path before = fs::current_path();
  fs::current_path(file_.parent_path());
  VirtualDocument relative;
  const DocStatus loaded = relative.Load(OLESTR("doc.tvd"));
  Var v;
  Var::I4(v, 9);
  relative.SetValue(OLESTR("Card"), OLESTR("N"), &v);
  const DocStatus saved = relative.Save();
  fs::current_path(before);
  EXPECT_EQ(loaded, DocStatus::Ok);
  EXPECT_EQ(saved, DocStatus::Ok);
  EXPECT_NE(ReadFile(file_), original_);
  EXPECT_EQ(FilesInFolder(), 1u);
}

// A new file that someone else creates while the saver works is theirs: the
// save fails rather than replacing it.
TEST_F(SaveSafety, ANewFileMadeMeanwhileIsNotReplaced) {
  const fs::path fresh = scratch_.Path("fresh.tvd");
  FileSaver saver;
  ASSERT_TRUE(saver.Open(Wide(fresh).c_str()));
  WriteFile(fresh, {1, 2, 3});
  const uint8_t content[] = {9, 9};
  EXPECT_FALSE(saver.Commit(content, sizeof content));
  EXPECT_EQ(ReadFile(fresh), (Bytes{1, 2, 3}));
}

TEST_F(SaveSafety, AFolderIsNotAFile) {
  fs::create_directory(scratch_.Path("folder.tvd"));
  EXPECT_EQ(doc_.Load(Wide(scratch_.Path("folder.tvd")).c_str()), DocStatus::CannotOpen);
  EXPECT_EQ(doc_.Save(), DocStatus::CannotOpen);
}

#ifdef _WIN32

// A handle that holds the file open with the given share mode.
UniqueFile Hold(const fs::path& path, DWORD access, DWORD share) {
  return UniqueFile(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

TEST_F(SaveSafety, ALockedFileCannotBeOpened) {
  {
    const UniqueFile other = Hold(file_, GENERIC_READ, FILE_SHARE_READ);  // refuses writers
    ASSERT_NE(other.get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(doc_.Save(), DocStatus::CannotOpen);
    ExpectUnchanged();
  }
  {
    const UniqueFile writer = Hold(file_, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    VirtualDocument reader;
    EXPECT_EQ(reader.Load(Wide(file_).c_str()), DocStatus::CannotOpen);  // writers are refused
  }
  {
    const UniqueFile reader = Hold(file_, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    VirtualDocument other;
    EXPECT_EQ(other.Load(Wide(file_).c_str()), DocStatus::Ok);  // readers are welcome
  }
  EXPECT_EQ(doc_.Save(), DocStatus::Ok);
}

TEST_F(SaveSafety, SavingKeepsTheFileAttributes) {
  ASSERT_TRUE(SetFileAttributesW(file_.c_str(), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(doc_.Save(), DocStatus::Ok);
  EXPECT_TRUE(GetFileAttributesW(file_.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_NE(ReadFile(file_), original_);
}

#else

TEST_F(SaveSafety, ALockedFileCannotBeOpened) {
  UniqueFd fd(open(file_.c_str(), O_RDONLY));
  ASSERT_GE(fd.get(), 0);
  ASSERT_EQ(flock(fd.get(), LOCK_SH), 0);  // another reader, which keeps writers out
  EXPECT_EQ(doc_.Save(), DocStatus::CannotOpen);
  ExpectUnchanged();
  VirtualDocument reader;
  EXPECT_EQ(reader.Load(Wide(file_).c_str()), DocStatus::Ok);  // readers share
  ASSERT_EQ(flock(fd.get(), LOCK_UN), 0);
  ASSERT_EQ(flock(fd.get(), LOCK_EX), 0);  // a writer keeps readers out
  EXPECT_EQ(reader.Load(Wide(file_).c_str()), DocStatus::CannotOpen);
  fd.reset();
  EXPECT_EQ(doc_.Save(), DocStatus::Ok);
}

// Opening a FIFO would wait for a writer forever; it is simply not a file.
TEST_F(SaveSafety, AFifoIsNotAFileAndDoesNotHang) {
  const fs::path fifo = scratch_.Path("fifo.tvd");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  VirtualDocument doc;
  EXPECT_EQ(doc.Load(Wide(fifo).c_str()), DocStatus::CannotOpen);
  EXPECT_EQ(doc.Save(), DocStatus::CannotOpen);
  EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST_F(SaveSafety, SavingKeepsPermissionsAndSymbolicLinks) {
  fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const fs::path link = scratch_.Path("link.tvd");
  fs::create_symlink(file_, link);
  ASSERT_EQ(doc_.Load(Wide(link).c_str()), DocStatus::Ok);
  Var v;
  Var::I4(v, 5);
  doc_.SetValue(OLESTR("Card"), OLESTR("N"), &v);
  EXPECT_EQ(doc_.Save(), DocStatus::Ok);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::status(file_).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_NE(ReadFile(file_), original_);
  EXPECT_EQ(ReadFile(link), ReadFile(file_));
}

#endif

}  // namespace
