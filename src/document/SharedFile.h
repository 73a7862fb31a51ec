// A file open for reading while other programs may read it but not write it.
#pragma once

#include "Automation.h"

#include <cstddef>
#include <cstdint>

class SharedFile {
 public:
  SharedFile() = default;
  ~SharedFile();
  SharedFile(const SharedFile&) = delete;
  SharedFile& operator=(const SharedFile&) = delete;

  // False when the file cannot be opened (missing, a folder, no access, a
  // writer holds it, a null or empty path).
  bool Open(const OLECHAR* path);
  uint64_t size() const { return size_; }
  // Reads up to n more bytes; fewer when the file ends sooner or cannot be
  // read further. Returns how many it read.
  size_t Read(uint8_t* into, size_t n);

 private:
#ifdef _WIN32
  HANDLE file_ = INVALID_HANDLE_VALUE;  // owned
#else
  int file_ = -1;  // owned
#endif
  uint64_t size_ = 0;
};
