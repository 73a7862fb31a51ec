// Replaces a file's content all or nothing. Open() takes the file for
// ourselves (no other reader or writer), proves it may be written and makes
// an empty temporary file beside it; Commit() writes the new content there,
// flushes it to disk and puts it in the file's place, keeping the file's
// attributes and permissions. Until Commit() succeeds the old file is
// untouched, and no temporary file outlives the saver unless it holds the
// only copy of the content (a replace that failed halfway).
#pragma once

#include "Automation.h"

#include <cstddef>
#include <cstdint>
#include <string>

class FileSaver {
 public:
  FileSaver() = default;
  ~FileSaver();
  FileSaver(const FileSaver&) = delete;
  FileSaver& operator=(const FileSaver&) = delete;

  // False when the file cannot be saved at all: missing folder, read-only,
  // held by another program, a folder in which no file can be made, or (on
  // Linux) a group that a new copy could not keep.
  bool Open(const OLECHAR* path);
  bool Commit(const uint8_t* data, size_t size);

  // Test seam: the next commits fail as a full disk would, after this many
  // bytes of the temporary file are written. Negative turns it off.
  static void SetWriteLimitForTesting(long long bytes);

 private:
  bool MakeTemp();
  bool WriteTemp(const uint8_t* data, size_t size);
  bool Replace();
  void Release();

#ifdef _WIN32
  std::wstring target_;  // full path
  std::wstring temp_;    // empty when there is none to remove
  HANDLE held_ = INVALID_HANDLE_VALUE;  // owned: the target, opened exclusively
  DWORD attributes_ = INVALID_FILE_ATTRIBUTES;
#else
  std::string target_;  // symbolic links resolved: the file that is replaced
  std::string temp_;    // empty when there is none to remove
  int held_ = -1;       // owned: the target, locked exclusively
  int tempFile_ = -1;   // owned: the temporary file, open for writing
  unsigned mode_ = 0666;
  unsigned uid_ = 0, gid_ = 0;
#endif
  bool exists_ = false;
};
