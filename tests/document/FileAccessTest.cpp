// The file beneath a document: deep folders, links, leftovers of saves that
// died, files too large to take, things that are not disk files.
#include "FileSaver.h"
#include "SharedFile.h"
#include "VirtualDocument.h"

#include "TempFolder.h"
#include "TvdBytes.h"
#include "Var.h"

#include <gtest/gtest.h>

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using Step = FileFailure::Step;

namespace {

// Deep folders are made, listed and removed by the system's own calls: on
// Windows with the prefix that lifts the length limit, which the C++
// library does not handle everywhere.
#ifdef _WIN32
const WString kSeparator = L"\\";
WString Long(const WString& path) { return L"\\\\?\\" + path; }
void MakeFolder(const WString& path) { CreateDirectoryW(Long(path).c_str(), nullptr); }
void RemoveFolder(const WString& path) { RemoveDirectoryW(Long(path).c_str()); }
void RemoveFile(const WString& path) { DeleteFileW(Long(path).c_str()); }
std::vector<std::string> NamesIn(const WString& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  UniqueHandle<HANDLE, ::FindClose, InvalidFileHandle> search(
      FindFirstFileW(Long(folder + L"\\*").c_str(), &found));
  if (!search) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(fs::path(name).string());
  } while (FindNextFileW(search.get(), &found));
  return names;
}
#else
std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  return names;
}

const WString kSeparator = u"/";
void MakeFolder(const WString& path) { fs::create_directory(fs::path(path)); }
void RemoveFolder(const WString& path) { fs::remove(fs::path(path)); }
void RemoveFile(const WString& path) { fs::remove(fs::path(path)); }
std::vector<std::string> NamesIn(const WString& folder) { return Names(fs::path(folder)); }
#endif

void Stamp(VirtualDocument& doc, LONG n) {
  Var v;
  Var::I4(v, n);
  doc.SetValue(OLESTR("Card"), OLESTR("N"), &v);
}

LONG StampOf(const WString& path) {
  VirtualDocument doc;
  if (doc.Load(path.c_str()) != DocStatus::Ok) return -1;
  Var v;
  doc.GetValue(OLESTR("Card"), OLESTR("N"), &v);
  return v.vt == VT_I4 ? v.lVal : -1;
}

// Folders below base whose full path is exactly length characters long,
// named in U+4242 (whose bytes once became a return address). The deepest last.
std::vector<WString> MakeDeepFolder(const WString& base, size_t length) {
  std::vector<WString> made;
  WString folder = base;
  while (folder.size() < length) {
    size_t n = std::min<size_t>(80, length - folder.size() - 1);
    if (length - folder.size() - 1 - n == 1) --n;  // room for one more separator and name
    folder += kSeparator + WString(n, OLECHAR(0x4242));
    MakeFolder(folder);
    made.push_back(folder);
  }
  return made;
}

TEST(FileAccess, SavesInFoldersOfAnyDepthSucceedOrFailCleanly) {
  TempFolder scratch;
  const WString base = Wide(scratch.Path("x").parent_path());
  for (size_t length : {200u, 248u, 260u, 300u, 1000u}) {
    SCOPED_TRACE(length);
    const std::vector<WString> folders = MakeDeepFolder(base, length);
    ASSERT_EQ(folders.back().size(), length);
    const WString file = folders.back() + kSeparator + OLESTR("doc.tvd");
    VirtualDocument doc;
    doc.SetPath(file.c_str());
    Stamp(doc, 1);
    const DocStatus made = doc.Save();
    EXPECT_TRUE(made == DocStatus::Ok || made == DocStatus::CannotOpen);
    // This system takes long paths: the file is made, then replaced.
    EXPECT_EQ(made, DocStatus::Ok);
    Stamp(doc, 2);
    EXPECT_EQ(doc.Save(), DocStatus::Ok);
    EXPECT_EQ(StampOf(file), 2);
    EXPECT_EQ(NamesIn(folders.back()), std::vector<std::string>{"doc.tvd"});
    RemoveFile(file);
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) RemoveFolder(*it);
  }
}

// A save splits a hard link: the name saved to gets the new content, the
// other name keeps the old. Under Wine the old file itself takes the new
// content, so that it keeps its Unix owner, group and mode, and with them its
// other names.
bool UnderWine() {
#ifdef _WIN32
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
#else
  return false;
#endif
}

TEST(FileAccess, SavingThroughAHardLinkSplitsItButUnderWine) {
  TempFolder scratch;
  const fs::path a = scratch.Path("a.tvd"), b = scratch.Path("b.tvd");
  VirtualDocument doc;
  doc.SetPath(Wide(a).c_str());
  Stamp(doc, 1);
  ASSERT_EQ(doc.Save(), DocStatus::Ok);
  fs::create_hard_link(a, b);
  Stamp(doc, 2);
  ASSERT_EQ(doc.Save(), DocStatus::Ok);
  EXPECT_EQ(StampOf(Wide(a)), 2);
  EXPECT_EQ(StampOf(Wide(b)), UnderWine() ? 2 : 1);
  if (!UnderWine()) {  // Wine does not count links
    EXPECT_EQ(fs::hard_link_count(a), 1u);
  }
}

// What a save that died leaves has a name of its own; the next save of the
// same document removes it, unless a save at work still holds it. A save
// under Wine killed just after it linked a second name to the document
// leaves that name on the document's own file, which the next save holds.
TEST(FileAccess, TheNextSaveRemovesLeftoversOfItsOwnDocumentOnly) {
  TempFolder scratch;
  const fs::path file = scratch.Path("doc.tvd");
  // The name's hash, as the saver makes it: FNV-1a over the file's name.
  uint32_t hash = 2166136261u;
  for (char c : std::string("doc.tvd")) hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
  char own[64], held[64], linked[64];
  std::snprintf(own, sizeof own, ".tvd-%08x-0123456789abcdef.tmp", static_cast<unsigned>(hash));
  std::snprintf(held, sizeof held, ".tvd-%08x-fedcba9876543210.tmp", static_cast<unsigned>(hash));
  std::snprintf(linked, sizeof linked, ".tvd-%08x-00000000ffffffff.tmp",
                static_cast<unsigned>(hash));
  const std::string other = ".tvd-00000000-0123456789abcdef.tmp";  // another document's
  for (const std::string& name : {std::string(own), std::string(held), other})
    WriteFile(scratch.Path(name), {1, 2, 3});
  WriteFile(file, {1, 2, 3});  // the document, which the save replaces
  fs::create_hard_link(file, scratch.Path(linked));
#ifdef _WIN32
  UniqueFile live(CreateFileW(scratch.Path(held).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr));
#else
  UniqueFd live(open(scratch.Path(held).c_str(), O_RDONLY));
  ASSERT_EQ(flock(live.get(), LOCK_EX), 0);
#endif
  ASSERT_TRUE(live);
  VirtualDocument doc;
  doc.SetPath(Wide(file).c_str());
  ASSERT_EQ(doc.Save(), DocStatus::Ok);
  EXPECT_FALSE(fs::exists(scratch.Path(own)));
  EXPECT_FALSE(fs::exists(scratch.Path(linked)));
  EXPECT_TRUE(fs::exists(scratch.Path(held)));
  EXPECT_TRUE(fs::exists(scratch.Path(other)));
  live.reset();
  ASSERT_EQ(doc.Save(), DocStatus::Ok);
  EXPECT_FALSE(fs::exists(scratch.Path(held)));
}

// Larger than the reader takes: refused at once as too large, whatever its
// content; below that, the magic is looked at before the rest is read.
TEST(FileAccess, AFileLargerThanTheReaderTakesIsTooLarge) {
  TempFolder scratch;
  const fs::path big = scratch.Path("big.tvd");
  WriteFile(big, TvdBytes().Magic("Tavorin Virtual Document x.xx").U32(2).U32(0).bytes());
  fs::resize_file(big, SharedFile::kMaxSize + 1);  // sparse: no disk space taken
  VirtualDocument doc;
  EXPECT_EQ(doc.Load(Wide(big).c_str()), DocStatus::CannotOpen);
  EXPECT_EQ(doc.fileFailure().step, Step::TooLarge);

  const fs::path zeros = scratch.Path("zeros.tvd");
  WriteFile(zeros, {});
  fs::resize_file(zeros, SharedFile::kMaxSize);
  EXPECT_EQ(doc.Load(Wide(zeros).c_str()), DocStatus::BadFormat);
  EXPECT_EQ(doc.faultOffset(), 0u);
  EXPECT_EQ(doc.fileFailure().step, Step::None);
}

// A valid file that memory cannot hold is too large, not badly formed:
// whether its bytes do not fit or the blocks made from them.
TEST(FileAccess, AValidFileThatMemoryCannotHoldIsTooLarge) {
  TempFolder scratch;
  const fs::path file = scratch.Path("blocks.tvd");
  TvdBytes image;
  image.Magic("Tavorin Virtual Document x.xx").U32(2).U32(20000);
  for (int b = 0; b < 20000; ++b) image.U32(0).U32(0);
  WriteFile(file, image.bytes());
  for (size_t limit : {size_t{0}, image.bytes().size() + 1000}) {
    SCOPED_TRACE(limit);
    DocumentPool::SetLimitForTesting(limit);
    VirtualDocument doc;
    const DocStatus status = doc.Load(Wide(file).c_str());
    DocumentPool::SetLimitForTesting(SIZE_MAX);
    EXPECT_EQ(status, DocStatus::CannotOpen);
    EXPECT_EQ(doc.fileFailure().step, Step::TooLarge);
    EXPECT_TRUE(doc.blocks().empty());
    EXPECT_EQ(doc.path(), Wide(file));
    // The same from bytes the caller keeps.
    Bytes lent = image.bytes();
    DocumentPool::SetLimitForTesting(limit);
    const DocStatus borrowed = doc.ReadBorrowed(lent.data(), lent.size());
    DocumentPool::SetLimitForTesting(SIZE_MAX);
    EXPECT_EQ(borrowed, DocStatus::CannotOpen);
    EXPECT_EQ(doc.fileFailure().step, Step::TooLarge);
    EXPECT_TRUE(doc.blocks().empty());
    EXPECT_EQ(doc.path(), Wide(file));
  }
}

TEST(FileAccess, FailuresAreRecordedWhenTheyHappen) {
  TempFolder scratch;
  VirtualDocument doc;
  EXPECT_EQ(doc.Load(Wide(scratch.Path("missing.tvd")).c_str()), DocStatus::CannotOpen);
  EXPECT_EQ(doc.fileFailure().step, Step::Open);
  EXPECT_NE(doc.fileFailure().error, 0u);
  fs::create_directory(scratch.Path("folder.tvd"));
  EXPECT_EQ(doc.Load(Wide(scratch.Path("folder.tvd")).c_str()), DocStatus::CannotOpen);
  EXPECT_EQ(doc.fileFailure().step, Step::Folder);
  EXPECT_EQ(doc.Save(), DocStatus::CannotOpen);
  EXPECT_EQ(doc.fileFailure().step, Step::Folder);

  const fs::path file = scratch.Path("doc.tvd");
  doc.SetPath(Wide(file).c_str());
  FileSaver::SetWriteLimitForTesting(5);
  EXPECT_EQ(doc.Save(), DocStatus::WriteFailed);
  FileSaver::SetWriteLimitForTesting(-1);
  EXPECT_EQ(doc.fileFailure().step, Step::Write);
  EXPECT_NE(doc.fileFailure().error, 0u);
  EXPECT_EQ(doc.Save(), DocStatus::Ok);
  EXPECT_EQ(doc.fileFailure().step, Step::None);
  fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_EQ(doc.Save(), DocStatus::CannotOpen);
  EXPECT_EQ(doc.fileFailure().step, Step::ReadOnly);  // as root too
  EXPECT_NE(doc.fileFailure().error, 0u);
}

#ifdef _WIN32

// Devices and pipes open like files; they are not documents.
TEST(FileAccess, OnlyDiskFilesAreDocuments) {
  const WString pipe = L"\\\\.\\pipe\\vellisto-test-" + std::to_wstring(GetCurrentProcessId());
  UniqueFile server(CreateNamedPipeW(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 4, 4096,
                                     4096, 0, nullptr));
  ASSERT_TRUE(server);
  for (const WString& path : {WString(L"NUL"), WString(L"\\\\.\\NUL"), pipe}) {
    SCOPED_TRACE(testing::PrintToString(std::string(path.begin(), path.end())));
    VirtualDocument doc;
    EXPECT_EQ(doc.Load(path.c_str()), DocStatus::CannotOpen);
    EXPECT_EQ(doc.fileFailure().step, Step::NotAFile);
    EXPECT_EQ(doc.Save(), DocStatus::CannotOpen);
  }
}

#else

// A POSIX ACL that grants user 4321 read and write: the version, then
// (tag, permissions, id) for the owner, the named user, the group, the
// mask and others.
std::string Acl(uint16_t namedUserPerms) {
  std::string acl;
  auto put = [&acl](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) acl += static_cast<char>(v >> (8 * i) & 0xFF);
  };
  put(2, 4);
  for (auto [tag, perms, id] : {std::tuple<uint16_t, uint16_t, uint32_t>{0x01, 6, ~0u},
                                {0x02, namedUserPerms, 4321},
                                {0x04, 4, ~0u},
                                {0x10, 6, ~0u},
                                {0x20, 0, ~0u}}) {
    put(tag, 2);
    put(perms, 2);
    put(id, 4);
  }
  return acl;
}

std::string Attribute(const fs::path& file, const char* name) {
  char value[256];
  const ssize_t n = getxattr(file.c_str(), name, value, sizeof value);
  return n < 0 ? std::string("(none)") : std::string(value, static_cast<size_t>(n));
}

// The mask of an ACL lives in the group bits: a save that dropped the ACL
// would give the group write access and take it from the named user.
// A link that leads nowhere names no file to rewrite, and must stay a link.
TEST(FileAccess, ASaveOntoALinkToAMissingFileIsRefused) {
  TempFolder scratch;
  const fs::path link = scratch.Path("link.tvd");
  fs::create_symlink("missing.tvd", link);
  VirtualDocument doc;
  doc.SetPath(Wide(link).c_str());
  EXPECT_EQ(doc.Save(), DocStatus::CannotOpen);
  EXPECT_EQ(doc.fileFailure().step, Step::BrokenLink);
  EXPECT_NE(doc.fileFailure().error, 0u);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.root()), fs::directory_iterator()), 1);
}

TEST(FileAccess, SavingKeepsTheAclAndExtendedAttributes) {
  TempFolder scratch;
  const fs::path folder = scratch.Path("f"), file = scratch.Path("f/doc.tvd");
  fs::create_directory(folder);
  VirtualDocument doc;
  doc.SetPath(Wide(file).c_str());
  ASSERT_EQ(doc.Save(), DocStatus::Ok);
  const std::string acl = Acl(6);
  ASSERT_EQ(setxattr(file.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0), 0);
  ASSERT_EQ(setxattr(file.c_str(), "user.origin", "vault", 5, 0), 0);
  // A default ACL on the folder, which new files take: the replacement must not.
  const std::string inherited = Acl(7);
  ASSERT_EQ(
      setxattr(folder.c_str(), "system.posix_acl_default", inherited.data(), inherited.size(), 0),
      0);
  const auto mode = fs::status(file).permissions();
  Stamp(doc, 3);
  ASSERT_EQ(doc.Save(), DocStatus::Ok);
  EXPECT_EQ(StampOf(Wide(file)), 3);
  EXPECT_EQ(Attribute(file, "system.posix_acl_access"), acl);
  EXPECT_EQ(Attribute(file, "user.origin"), "vault");
  EXPECT_EQ(fs::status(file).permissions(), mode);
  EXPECT_EQ(Names(folder), std::vector<std::string>{"doc.tvd"});

  // And a file without an ACL does not take the folder's.
  ASSERT_EQ(removexattr(file.c_str(), "system.posix_acl_access"), 0);
  ASSERT_EQ(doc.Save(), DocStatus::Ok);
  EXPECT_EQ(Attribute(file, "system.posix_acl_access"), "(none)");
}

#endif

}  // namespace
