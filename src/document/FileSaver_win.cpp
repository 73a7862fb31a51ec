#include "FileSaver.h"

#include "LongPath.h"

#include <cstring>
#include <string>
#include <vector>

using Step = FileFailure::Step;

struct FileSaver::Kept {
  FILE_BASIC_INFO basic = {};
  std::vector<uint8_t> security;  // self-relative: the DACL
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
  // cannot be deleted; one that can is left from a save that died.
  for (const std::wstring& name : names) DeleteFileW((m_folder + name).c_str());
}

bool FileSaver::MakeTemp() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring name = TempName();
    m_temp.reset(CreateFileW(name.c_str(), GENERIC_WRITE | DELETE | READ_CONTROL | WRITE_DAC, 0,
                             nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (m_temp) {
      m_tempName = name;
      return true;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return Fail(Step::MakeTemp, GetLastError());
  }
  return Fail(Step::MakeTemp, ERROR_FILE_EXISTS);
}

bool FileSaver::KeepPermissions() {
  if (!m_exists) return true;
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
  return SetKernelObjectSecurity(m_temp.get(), DACL_SECURITY_INFORMATION,
                                 m_kept->security.data()) ||
         Fail(Step::KeepPermissions, GetLastError());
}

bool FileSaver::WriteTemp(const uint8_t* data, size_t size) {
  const size_t allowed = AllowedForTesting(size);
  DWORD done = 0;
  for (size_t at = 0; at < allowed; at += done) {
    const DWORD chunk = static_cast<DWORD>(allowed - at > 0x40000000 ? 0x40000000 : allowed - at);
    if (!WriteFile(m_temp.get(), data + at, chunk, &done, nullptr))
      return Fail(Step::Write, GetLastError());
    if (done == 0) return Fail(Step::Write, ERROR_DISK_FULL);
  }
  if (allowed != size) return Fail(Step::Write, ERROR_DISK_FULL);
  return FlushFileBuffers(m_temp.get()) || Fail(Step::Flush, GetLastError());
}

bool FileSaver::Replace() {
  // One rename, through the temporary file's own handle, puts the new
  // content in place. The exclusive hold on the old file must go first; a
  // reader that opens it meanwhile holds the rename up for a moment.
  m_held.reset();
  std::vector<uint8_t> buffer(sizeof(FILE_RENAME_INFO) + m_target.size() * sizeof(wchar_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = m_exists;  // a new file someone made meanwhile is theirs
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(m_target.size() * sizeof(wchar_t));
  std::memcpy(rename->FileName, m_target.c_str(), (m_target.size() + 1) * sizeof(wchar_t));
  for (int attempt = 0;; ++attempt) {
    if (SetFileInformationByHandle(m_temp.get(), FileRenameInfo, rename,
                                   static_cast<DWORD>(buffer.size())))
      break;
    const DWORD error = GetLastError();
    if (!m_exists || !Busy(error) || attempt == 100) return Fail(Step::Replace, error);
    Sleep(10);
  }
  m_tempName.clear();
  FlushFileBuffers(m_temp.get());  // the rename as well, where the system takes it so
  m_temp.reset();
  return true;
}

void FileSaver::RemoveTemp() {
  m_temp.reset();
  if (!m_tempName.empty()) DeleteFileW(m_tempName.c_str());
  m_tempName.clear();
}
