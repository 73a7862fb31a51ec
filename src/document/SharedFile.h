// A file open for reading while other programs may read it but not write it.
#pragma once

#include "Automation.h"
#include "FileFailure.h"
#include "NativeFile.h"

#include <cstddef>
#include <cstdint>

class SharedFile {
 public:
  // The largest file the reader takes: a document is held in memory whole,
  // and a 32-bit process has 2 GB of address space for everything it does.
  static constexpr uint64_t kMaxSize = sizeof(void*) == 4 ? uint64_t{256} << 20 : uint64_t{1} << 30;

  // False when the file cannot be opened (missing, a folder, not a disk file,
  // no access, a writer holds it, a null or empty path); failure() says why.
  bool Open(const OLECHAR* path);
  uint64_t size() const { return m_size; }
  // Reads up to n more bytes; fewer when the file ends sooner or cannot be
  // read further. Returns how many it read.
  size_t Read(uint8_t* into, size_t n);
  const FileFailure& failure() const { return m_failure; }

 private:
  bool Fail(FileFailure::Step step, uint32_t error);

  NativeFile m_file;
  uint64_t m_size = 0;
  FileFailure m_failure;
};
