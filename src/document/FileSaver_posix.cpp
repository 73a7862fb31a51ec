#include "FileSaver.h"

#include "Utf.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

using Step = FileFailure::Step;

struct FileSaver::Kept {
  mode_t mode = 0666;
  uid_t uid = 0;
  gid_t gid = 0;
};

namespace {

using UniqueDir = UniqueHandle<DIR*, ::closedir>;

uint32_t Errno() { return static_cast<uint32_t>(errno); }

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  for (size_t at = 0; at < size;) {
    const ssize_t n = write(fd, data + at, size - at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    at += static_cast<size_t>(n);
  }
  return true;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Moves from onto to unless to exists (someone made the file meanwhile).
bool RenameNoReplace(const char* from, const char* to) {
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without it: a hard link fails on an existing name too.
  return link(from, to) == 0 && unlink(from) == 0;
}

// The names of a file's extended attributes (its ACL among them); an empty
// list where the file system has none.
bool ListAttributes(int fd, std::vector<std::string>& names) {
  names.clear();
  std::string list;
  for (;;) {
    const ssize_t size = flistxattr(fd, nullptr, 0);
    if (size < 0) return errno == ENOTSUP;
    list.resize(static_cast<size_t>(size));
    const ssize_t got = flistxattr(fd, &list[0], list.size());
    if (got >= 0) {
      list.resize(static_cast<size_t>(got));
      break;
    }
    if (errno != ERANGE) return false;  // grew meanwhile: ask again
  }
  for (size_t at = 0; at < list.size(); at = list.find('\0', at) + 1)
    names.push_back(list.c_str() + at);
  return true;
}

bool ReadAttribute(int fd, const std::string& name, std::string& value) {
  for (;;) {
    const ssize_t size = fgetxattr(fd, name.c_str(), nullptr, 0);
    if (size < 0) return false;
    value.resize(static_cast<size_t>(size));
    const ssize_t got = fgetxattr(fd, name.c_str(), &value[0], value.size());
    if (got >= 0) {
      value.resize(static_cast<size_t>(got));
      return true;
    }
    if (errno != ERANGE) return false;
  }
}

void SyncFolder(const std::string& folder) {
  UniqueFd dir(open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir) fsync(dir.get());
}

}  // namespace

FileSaver::FileSaver() : m_kept(new Kept) {}

FileSaver::~FileSaver() { RemoveTemp(); }

bool FileSaver::Open(const OLECHAR* path) {
  if (!path || !*path) return Fail(Step::Open, ENOENT);
  m_target = FileNameFromUtf16(path);
  // Replace the file a symbolic link names, not the link.
  if (char* real = realpath(m_target.c_str(), nullptr)) {
    m_target = real;
    std::free(real);
  }
  m_folder = m_target.substr(0, m_target.rfind('/') + 1);
  // Non-blocking, so that a FIFO cannot hold the open up forever.
  m_held.reset(open(m_target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
  m_exists = static_cast<bool>(m_held);
  struct stat st;
  if (!m_exists) {
    const int error = errno;
    if (error == EISDIR) return Fail(Step::Folder, EISDIR);
    if (error == ENXIO) return Fail(Step::NotAFile, ENXIO);  // a FIFO that nobody reads
    if (error == EACCES && stat(m_target.c_str(), &st) == 0 && (st.st_mode & 0222) == 0)
      return Fail(Step::ReadOnly, EACCES);
    if (error != ENOENT) return Fail(Step::Open, error);
    // The name is taken by a link that leads nowhere: there is no file to
    // rewrite, and the link must stay.
    if (lstat(m_target.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
      return Fail(Step::BrokenLink, ENOENT);
    // A new file: its folder must be there.
    if (stat(m_folder.empty() ? "." : m_folder.c_str(), &st) != 0) return Fail(Step::Open, Errno());
    return S_ISDIR(st.st_mode) || Fail(Step::Open, ENOTDIR);
  }
  if (flock(m_held.get(), LOCK_EX | LOCK_NB) != 0)
    return Fail(errno == EWOULDBLOCK ? Step::Locked : Step::Open, Errno());
  if (fstat(m_held.get(), &st) != 0) return Fail(Step::Open, Errno());
  if (!S_ISREG(st.st_mode)) return Fail(Step::NotAFile, 0);
  // A file without write permission is read-only to us even where the
  // system would let us write it (as root), as the read-only attribute is on Windows.
  if ((st.st_mode & 0222) == 0) return Fail(Step::ReadOnly, EACCES);
  m_kept->mode = st.st_mode & 07777;
  m_kept->uid = st.st_uid;
  m_kept->gid = st.st_gid;
  return true;
}

void FileSaver::RemoveLeftovers() {
  const std::string prefix = TempPrefix();
  std::vector<std::string> names;
  {
    UniqueDir dir(opendir(m_folder.empty() ? "." : m_folder.c_str()));
    if (!dir) return;
    while (const dirent* entry = readdir(dir.get())) {
      const std::string name = entry->d_name;
      if (name.size() == prefix.size() + 20 && name.compare(0, prefix.size(), prefix) == 0 &&
          name.compare(name.size() - 4, 4, ".tmp") == 0)
        names.push_back(name);
    }
  }
  // A save at work holds a lock on its temporary file; one that can be
  // locked is left from a save that died. So is a second name of the
  // document itself, which a save under Wine links and which our own lock
  // holds: no other save of the document is at work while we hold it.
  struct stat held;
  const bool holding = m_held && fstat(m_held.get(), &held) == 0;
  for (const std::string& name : names) {
    const std::string path = m_folder + name;
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened, named;
    if (fd && fstat(fd.get(), &opened) == 0 && S_ISREG(opened.st_mode) &&
        ((holding && SameFile(opened, held)) || flock(fd.get(), LOCK_EX | LOCK_NB) == 0) &&
        lstat(path.c_str(), &named) == 0 && SameFile(opened, named))
      unlink(path.c_str());
  }
}

bool FileSaver::MakeTemp() {
  // A new file: the umask decides, as for any new file. A replacement
  // starts private and is given the old file's permissions next.
  const mode_t mode = m_exists ? 0600 : 0666;
  // Best an unnamed file, which nothing can see and which goes with the
  // process if it dies; it is linked into the folder when complete.
  if (access("/proc/self/fd", X_OK) == 0) {
    m_temp.reset(
        open(m_folder.empty() ? "." : m_folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
    if (m_temp) return flock(m_temp.get(), LOCK_EX | LOCK_NB) == 0 || Fail(Step::MakeTemp, Errno());
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
      return Fail(Step::MakeTemp, Errno());
  }
  // Else a named one, locked from the start so that another save's
  // clean-up leaves it alone; if that clean-up took the name first, take another.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = TempName();
    m_temp.reset(open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!m_temp) {
      if (errno == EEXIST) continue;
      return Fail(Step::MakeTemp, Errno());
    }
    struct stat mine, named;
    if (flock(m_temp.get(), LOCK_EX | LOCK_NB) == 0 && fstat(m_temp.get(), &mine) == 0 &&
        lstat(name.c_str(), &named) == 0 && SameFile(mine, named)) {
      m_tempName = name;
      return true;
    }
    m_temp.reset();
  }
  return Fail(Step::MakeTemp, EEXIST);
}

bool FileSaver::KeepPermissions() {
  if (!m_exists) return true;
  const int fd = m_temp.get();
  const Kept& kept = *m_kept;
  // The copy takes the file's place, so it must give the same people the
  // same access. Only root may give it away to the file's owner; the group
  // can be kept by any of its members, and must be, or the save is refused.
  struct stat made;
  if (fchown(fd, kept.uid, kept.gid) != 0 && fchown(fd, static_cast<uid_t>(-1), kept.gid) != 0)
    return Fail(Step::KeepPermissions, Errno());
  if (fchmod(fd, kept.mode) != 0 || fstat(fd, &made) != 0)
    return Fail(Step::KeepPermissions, Errno());
  if (made.st_gid != kept.gid) return Fail(Step::KeepPermissions, EPERM);
  // Then the extended attributes, the ACL among them (after the mode, whose
  // group bits it sets): exactly the old file's, and none that the new file
  // took from its folder's default ACL.
  std::vector<std::string> old, fresh;
  if (!ListAttributes(m_held.get(), old) || !ListAttributes(fd, fresh))
    return Fail(Step::KeepPermissions, Errno());
  for (const std::string& name : fresh)
    if (std::find(old.begin(), old.end(), name) == old.end() &&
        fremovexattr(fd, name.c_str()) != 0 && errno != ENODATA)
      return Fail(Step::KeepPermissions, Errno());
  for (const std::string& name : old) {
    std::string value, there;
    if (!ReadAttribute(m_held.get(), name, value)) return Fail(Step::KeepPermissions, Errno());
    if (fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) == 0) continue;
    // One the system set alike by itself (a security label) need not be set.
    const uint32_t error = Errno();
    if (!ReadAttribute(fd, name, there) || there != value)
      return Fail(Step::KeepPermissions, error);
  }
  return true;
}

bool FileSaver::WriteTemp(const uint8_t* data, size_t size) {
  const size_t allowed = AllowedForTesting(size);
  if (!WriteAll(m_temp.get(), data, allowed)) return Fail(Step::Write, Errno());
  if (allowed != size) return Fail(Step::Write, ENOSPC);
  if (fsync(m_temp.get()) != 0) return Fail(Step::Flush, Errno());
  return true;
}

bool FileSaver::Replace() {
  if (m_tempName.empty()) {
    const std::string self = "/proc/self/fd/" + std::to_string(m_temp.get());
    // A new file takes its name directly, unless someone made it meanwhile.
    if (!m_exists) {
      if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, m_target.c_str(), AT_SYMLINK_FOLLOW) != 0)
        return Fail(Step::Replace, Errno());
      SyncFolder(m_folder);
      m_temp.reset();
      return true;
    }
    for (int attempt = 0; m_tempName.empty(); ++attempt) {
      const std::string name = TempName();
      if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
        m_tempName = name;
      else if (errno != EEXIST || attempt == 100)
        return Fail(Step::Replace, Errno());
    }
  }
  const bool moved = m_exists ? rename(m_tempName.c_str(), m_target.c_str()) == 0
                              : RenameNoReplace(m_tempName.c_str(), m_target.c_str());
  if (!moved) return Fail(Step::Replace, Errno());
  m_tempName.clear();
  SyncFolder(m_folder);
  m_temp.reset();
  return true;
}

void FileSaver::RemoveTemp() {
  if (!m_tempName.empty()) unlink(m_tempName.c_str());
  m_tempName.clear();
  m_temp.reset();
}
