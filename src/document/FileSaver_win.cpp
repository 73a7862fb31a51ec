#include "FileSaver.h"

#include "DaclCompare.h"
#include "LongPath.h"

#include <sddl.h>

#include <cstring>
#include <string>
#include <vector>

using Step = FileFailure::Step;

struct FileSaver::Kept {
  FILE_BASIC_INFO basic = {};
  std::vector<uint8_t> security;  // self-relative: the DACL
  // Under Wine a file's access is its Unix owner, group and mode, which no
  // Windows call can give a new file: the old file itself is kept and takes
  // the new content (see ReplaceKeepingFile).
  bool keepFile = false;
  const uint8_t* content = nullptr;  // what WriteTemp wrote, for the old file
  size_t size = 0;
  // Leftovers that could not be deleted while the document was held.
  std::vector<std::wstring> heldLeftovers;
};

namespace {

using UniqueSearch = UniqueHandle<HANDLE, ::FindClose, InvalidFileHandle>;

// Attributes that a file can be given; the others belong to how it is stored.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE;

// Virus scanners, indexers and our own readers open a file for a moment.
bool Busy(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
         error == ERROR_LOCK_VIOLATION;
}

// The path of the file a handle is open on, symbolic links followed; empty
// when the system cannot tell.
std::wstring FinalPath(HANDLE file) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleW(file, &path[0], static_cast<DWORD>(path.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(n);  // too small: n counts the characters and the terminator
  }
}

// Wine keeps access in the Unix mode bits and maps a DACL to them and back
// with a loss: the group's bits and group are not in the DACL at all.
bool UnderWine() {
  static const bool wine =
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

bool ReadDacl(HANDLE file, std::vector<uint8_t>& security) {
  DWORD needed = 0;
  GetKernelObjectSecurity(file, DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
  for (int attempt = 0; needed != 0 && attempt < 4; ++attempt) {
    security.resize(needed);
    if (GetKernelObjectSecurity(file, DACL_SECURITY_INFORMATION, security.data(), needed, &needed))
      return true;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  }
  return false;
}

using UniqueLocal = UniqueHandle<HLOCAL, ::LocalFree>;

// A security descriptor that lets the user of this process write a file and
// nobody read it; null when the user cannot be told.
HLOCAL WriteOnlyForUser() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
  const UniqueKernelHandle ownToken(token);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<uint8_t> user(size);
  wchar_t* sid = nullptr;
  if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size) ||
      !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid))
    return nullptr;
  const UniqueLocal ownSid(sid);
  const std::wstring sddl = std::wstring(L"D:(A;;FW;;;") + sid + L")";
  PSECURITY_DESCRIPTOR made = nullptr;
  return ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &made,
                                                              nullptr)
             ? made
             : nullptr;
}

// Renames an open file to target, waiting a moment while a reader holds the
// file it replaces. 0 when done, else the system's error.
DWORD RenameOpenFile(HANDLE file, const std::wstring& target, bool replace) {
  std::vector<uint8_t> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = replace;  // a new file someone made meanwhile is theirs
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  std::memcpy(rename->FileName, target.c_str(), (target.size() + 1) * sizeof(wchar_t));
  for (int attempt = 0;; ++attempt) {
    if (SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size())))
      return 0;
    const DWORD error = GetLastError();
    if (!replace || !Busy(error) || attempt == 100) return error;
    Sleep(10);
  }
}

// False with the system's error when not all of size bytes were written.
bool WriteAll(HANDLE file, const uint8_t* data, size_t size) {
  DWORD done = 0;
  for (size_t at = 0; at < size; at += done) {
    const DWORD chunk = static_cast<DWORD>(size - at > 0x40000000 ? 0x40000000 : size - at);
    if (!WriteFile(file, data + at, chunk, &done, nullptr)) return false;
    if (done == 0) {
      SetLastError(ERROR_DISK_FULL);
      return false;
    }
  }
  return true;
}

}  // namespace

FileSaver::FileSaver() : m_kept(new Kept) {}

FileSaver::~FileSaver() { RemoveTemp(); }

bool FileSaver::Open(const OLECHAR* path) {
  if (!path || !*path) return Fail(Step::Open, ERROR_FILE_NOT_FOUND);
  m_target = LongPath(path);
  if (m_target.empty()) return Fail(Step::Open, GetLastError());
  m_folder = FolderOf(m_target);
  // Checked here as well as by the open, which does not refuse an
  // administrator everywhere.
  const DWORD attributes = GetFileAttributesW(m_target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return Fail(Step::Folder, ERROR_DIRECTORY);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    return Fail(Step::ReadOnly, ERROR_ACCESS_DENIED);
  // Share mode 0: nobody else may open the file until the saver is done.
  m_held.reset(CreateFileW(m_target.c_str(), GENERIC_WRITE | READ_CONTROL, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr));
  m_exists = static_cast<bool>(m_held);
  if (!m_exists) {
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
      return Fail(Step::Locked, error);
    if (error != ERROR_FILE_NOT_FOUND) return Fail(Step::Open, error);
    // A new file: prove that the name can be made, then leave it free.
    UniqueFile probe(CreateFileW(m_target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (probe) return true;
    // No file opened, yet the name is taken: a symbolic link to a file that
    // is not there. The link must stay, and there is no file to rewrite.
    const DWORD probeError = GetLastError();
    return Fail(probeError == ERROR_FILE_EXISTS ? Step::BrokenLink : Step::Open, probeError);
  }
  // Pipes, consoles and devices open too; only disk files are documents.
  if (GetFileType(m_held.get()) != FILE_TYPE_DISK) return Fail(Step::NotAFile, 0);
  if (!GetFileInformationByHandleEx(m_held.get(), FileBasicInfo, &m_kept->basic,
                                    sizeof m_kept->basic))
    return Fail(Step::Open, GetLastError());
  if (m_kept->basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)
    return Fail(Step::Folder, ERROR_DIRECTORY);
  // The file a symbolic link names is the one replaced; the link stays.
  const std::wstring final = FinalPath(m_held.get());
  if (!final.empty()) {
    m_target = final;
    m_folder = FolderOf(final);
  }
  if (!ReadDacl(m_held.get(), m_kept->security)) return Fail(Step::KeepPermissions, GetLastError());
  m_kept->keepFile = UnderWine();
  return true;
}

void FileSaver::RemoveLeftovers() {
  const std::wstring prefix = TempPrefix();
  WIN32_FIND_DATAW found;
  std::vector<std::wstring> names;
  {
    UniqueSearch search(FindFirstFileW((m_folder + prefix + L"*.tmp").c_str(), &found));
    if (!search) return;
    do {
      const std::wstring name = found.cFileName;
      if (name.size() == prefix.size() + 20 && name.compare(0, prefix.size(), prefix) == 0)
        names.push_back(name);
    } while (FindNextFileW(search.get(), &found));
  }
  // A save at work holds its temporary file open without sharing, so it
  // cannot be deleted; one that can is left from a save that died. A save
  // under Wine killed just after it linked a second name to the document
  // leaves a name that our own hold on the document keeps: such a name is
  // tried again once the save has let go (RemoveHeldLeftovers).
  for (const std::wstring& name : names) {
    const std::wstring path = m_folder + name;
    if (!DeleteFileW(path.c_str()) && GetLastError() == ERROR_SHARING_VIOLATION && m_held)
      m_kept->heldLeftovers.push_back(path);
  }
}

void FileSaver::RemoveHeldLeftovers() {
  for (const std::wstring& path : m_kept->heldLeftovers) DeleteFileW(path.c_str());
  m_kept->heldLeftovers.clear();
}

bool FileSaver::MakeTemp() {
  // When the old file is kept, the new content stands in its place for a
  // moment. Only this user may write it and nobody may read it meanwhile
  // (mode 0200 under Wine; not read-only, so that a leftover can be
  // deleted), and a save killed in that moment leaves access narrowed.
  const UniqueLocal writeOnly(m_kept->keepFile ? WriteOnlyForUser() : nullptr);
  SECURITY_ATTRIBUTES closed = {sizeof closed, writeOnly.get(), FALSE};
  SECURITY_ATTRIBUTES* security = writeOnly ? &closed : nullptr;
  if (m_kept->keepFile && !writeOnly) return Fail(Step::MakeTemp, GetLastError());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring name = TempName();
    m_temp.reset(CreateFileW(name.c_str(), GENERIC_WRITE | DELETE | READ_CONTROL | WRITE_DAC, 0,
                             security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (m_temp) {
      m_tempName = name;
      return true;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return Fail(Step::MakeTemp, GetLastError());
  }
  return Fail(Step::MakeTemp, ERROR_FILE_EXISTS);
}

bool FileSaver::KeepPermissions() {
  if (!m_exists || m_kept->keepFile) return true;
  // Zero times are left as they are; the creation time and the attributes
  // are the old file's.
  FILE_BASIC_INFO basic = {};
  basic.CreationTime = m_kept->basic.CreationTime;
  basic.FileAttributes = m_kept->basic.FileAttributes & kSettableAttributes;
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (!SetFileInformationByHandle(m_temp.get(), FileBasicInfo, &basic, sizeof basic))
    return Fail(Step::KeepPermissions, GetLastError());
  // The DACL is set only where it differs from the one the new file got
  // from its folder: Wine keeps access in the file's mode bits, and a
  // descriptor that it made up from them does not map back exactly.
  std::vector<uint8_t> fresh;
  if (ReadDacl(m_temp.get(), fresh) && fresh == m_kept->security) return true;
  if (!SetKernelObjectSecurity(m_temp.get(), DACL_SECURITY_INFORMATION, m_kept->security.data()))
    return Fail(Step::KeepPermissions, GetLastError());
  // What the system made of it may not give anyone more than the file gave.
  if (!ReadDacl(m_temp.get(), fresh)) return Fail(Step::KeepPermissions, GetLastError());
  return GrantsNoMore(fresh, m_kept->security) ||
         Fail(Step::WiderAccess, ERROR_INVALID_SECURITY_DESCR);
}

bool FileSaver::WriteTemp(const uint8_t* data, size_t size) {
  const size_t allowed = AllowedForTesting(size);
  if (!WriteAll(m_temp.get(), data, allowed)) return Fail(Step::Write, GetLastError());
  if (allowed != size) return Fail(Step::Write, ERROR_DISK_FULL);
  m_kept->content = data;
  m_kept->size = size;
  return FlushFileBuffers(m_temp.get()) || Fail(Step::Flush, GetLastError());
}

bool FileSaver::Replace() {
  if (m_kept->keepFile) return ReplaceKeepingFile();
  // One rename, through the temporary file's own handle, puts the new
  // content in place. The exclusive hold on the old file must go first; a
  // reader that opens it meanwhile holds the rename up for a moment.
  m_held.reset();
  const DWORD error = RenameOpenFile(m_temp.get(), m_target, m_exists);
  if (error != 0) return Fail(Step::Replace, error);
  m_tempName.clear();
  FlushFileBuffers(m_temp.get());  // the rename as well, where the system takes it so
  m_temp.reset();
  RemoveHeldLeftovers();
  return true;
}

bool FileSaver::ReplaceKeepingFile() {
  // A second name holds the old file while the new content stands at the
  // path; the old file then takes the new content and its place back. At
  // every instant the path names the whole old content or the whole new.
  const std::wstring keepName = TempName();
  if (!CreateHardLinkW(keepName.c_str(), m_target.c_str(), nullptr)) {
    // A file system without links: the new file takes the old one's DACL,
    // and the save is refused if that would give anyone more.
    m_kept->keepFile = false;
    return KeepPermissions() && Replace();
  }
  // A file that is open cannot be replaced: each name is let go before the
  // rename that replaces it.
  m_held.reset();
  DWORD error = RenameOpenFile(m_temp.get(), m_target, true);
  if (error != 0) {
    DeleteFileW(keepName.c_str());
    return Fail(Step::Replace, error);
  }
  m_tempName.clear();
  m_temp.reset();
  // From here the path names the new content, which nobody may open yet.
  UniqueFile keep;
  for (int attempt = 0; !keep && attempt <= 100; ++attempt) {
    if (attempt > 0) Sleep(10);
    keep.reset(CreateFileW(keepName.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr));
    error = keep ? 0 : GetLastError();
    if (error != 0 && !Busy(error)) break;
  }
  LARGE_INTEGER start = {};
  if (error == 0 && (!SetFilePointerEx(keep.get(), start, nullptr, FILE_BEGIN) ||
                     !WriteAll(keep.get(), m_kept->content, m_kept->size) ||
                     !SetEndOfFile(keep.get()) || !FlushFileBuffers(keep.get())))
    error = GetLastError();
  if (error == 0) error = RenameOpenFile(keep.get(), m_target, true);
  if (error != 0) {
    keep.reset();
    DeleteFileW(keepName.c_str());
    return Fail(Step::PermissionsLost, error);
  }
  FlushFileBuffers(keep.get());
  keep.reset();
  RemoveHeldLeftovers();
  return true;
}

void FileSaver::RemoveTemp() {
  m_temp.reset();
  if (!m_tempName.empty()) DeleteFileW(m_tempName.c_str());
  m_tempName.clear();
}
