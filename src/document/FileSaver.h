// Replaces a file's content all or nothing. Open() takes the file for
// ourselves (no other reader or writer) and proves it can be written;
// Commit() writes the new content to a temporary file beside it, flushes it
// to disk and puts it in the file's place, keeping the file's attributes and
// permissions. Until Commit() succeeds the old file is untouched, and no
// temporary file outlives the saver.
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

  bool Open(const OLECHAR* path);
  bool Commit(const uint8_t* data, size_t size);

  // Test seam: the next commits fail as a full disk would, after this many
  // bytes of the temporary file are written. Negative turns it off.
  static void SetWriteLimitForTesting(long long bytes);

 private:
  void Close();
  bool WriteTemp(const uint8_t* data, size_t size);
  void RemoveTemp();

#ifdef _WIN32
  std::wstring target_;
  std::wstring temp_;
  HANDLE held_ = INVALID_HANDLE_VALUE;  // owned: the target, opened exclusively
  DWORD attributes_ = INVALID_FILE_ATTRIBUTES;
  bool exists_ = false;
#else
  std::string target_;  // symbolic links resolved: the file that is replaced
  std::string temp_;
  int held_ = -1;  // owned: the target, locked exclusively
  bool exists_ = false;
  unsigned mode_ = 0666;
  unsigned uid_ = 0, gid_ = 0;
#endif
};
