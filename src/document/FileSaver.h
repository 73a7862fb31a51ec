// Replaces a file's content all or nothing. Open() takes the file for
// ourselves (no other reader or writer) and proves it may be written;
// Commit() makes the temporary file only then, beside the file, writes the
// content there, flushes it to disk, gives it the file's permissions and
// attributes, and renames it over the file in one step. At every instant the
// path names the old content or the new. A temporary file that a killed save
// leaves behind has a name of the form ".tvd-<document>-<random>.tmp", and
// the next save of the same document removes it. Under Wine, where no new
// file can be given an old one's Unix owner, group and mode, the old file
// takes the new content instead, with the same all-or-nothing promise.
#pragma once

#include "Automation.h"
#include "FileFailure.h"
#include "NativeFile.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class FileSaver {
 public:
  FileSaver();
  ~FileSaver();
  FileSaver(const FileSaver&) = delete;
  FileSaver& operator=(const FileSaver&) = delete;

  // False when the file cannot be saved at all: missing folder, read-only,
  // held by another program, not a disk file.
  bool Open(const OLECHAR* path);
  // False when the content could not take the file's place; the file is
  // then as it was, and failure() says why.
  bool Commit(const uint8_t* data, size_t size);
  const FileFailure& failure() const { return m_failure; }
  // True when the save failed before any content was written, as when
  // the file cannot be opened: no new file could be made in the folder, or
  // it could not be given the old file's permissions.
  bool FailedBeforeWriting() const;

  // Test seam: the next commits fail as a full disk would, after this many
  // bytes of the temporary file are written. Negative turns it off.
  static void SetWriteLimitForTesting(long long bytes);

 private:
  // What the new file takes over from the old one; each system keeps its own.
  struct Kept;

  bool Fail(FileFailure::Step step, uint32_t error);
  // How many of size bytes the write-limit seam lets through.
  static size_t AllowedForTesting(size_t size);
  // ".tvd-<hash of the path>-": the start of every temporary file's name
  // made for this document.
  NativePath TempPrefix() const;
  NativePath TempName() const;
  void RemoveLeftovers();
  bool MakeTemp();
  bool KeepPermissions();
  bool WriteTemp(const uint8_t* data, size_t size);
  bool Replace();
#ifdef _WIN32
  bool ReplaceKeepingFile();
  void RemoveHeldLeftovers();
#endif
  void RemoveTemp();

  NativePath m_target;    // the file replaced: a symbolic link is followed
  NativePath m_folder;    // the target's folder, with its final separator
  NativeFile m_held;      // the target, held exclusively; none for a new file
  NativeFile m_temp;      // the temporary file, open while the saver works
  NativePath m_tempName;  // empty while the temporary file has no name
  std::unique_ptr<Kept> m_kept;
  FileFailure m_failure;
  bool m_exists = false;
};
