// One document file's bytes, read with one open: the file is opened, checked
// and read once, and a document reads its content from these bytes without
// a copy. The buffer is kept from file to file, so that a tool reading many
// files (or one large one) does not pay for fresh memory each time.
#pragma once

#include "DocStatus.h"
#include "FileFailure.h"
#include "NativeFile.h"
#include "VirtualDocument.h"

#include <cstddef>
#include <cstdint>
#include <string>

class DocumentFile {
 public:
  DocumentFile() = default;
  ~DocumentFile();
  DocumentFile(const DocumentFile&) = delete;
  DocumentFile& operator=(const DocumentFile&) = delete;

  // Reads the file at path (the system's form) as the document library
  // does: only a regular file no writer holds, of at most SharedFile::kMaxSize
  // bytes; a file whose header is no document's keeps only the header. The
  // document borrows the bytes: they stay until the next Load or until this
  // object goes, so doc must not be used after either. CannotOpen sets
  // failure(); the other results are the document's own.
  DocStatus Load(const NativePath& path, VirtualDocument& doc);

  const uint8_t* data() const { return m_data; }
  size_t size() const { return m_size; }
  // The 29 characters of the header's magic, or "" for bytes without one.
  std::string Generation() const;
  const FileFailure& failure() const { return m_failure; }

 private:
  // Opens path and reads it into the buffer; false when it cannot be read.
  bool ReadFile(const NativePath& path);
  // Room for size bytes at m_data; false when there is not enough memory.
  bool Reserve(size_t size);
  // Fills the buffer from readInto(into, n), which returns how many bytes it read.
  template <typename ReadFn>
  void ReadBody(const ReadFn& readInto, size_t size);
  bool Fail(FileFailure::Step step, uint32_t error);

  uint8_t* m_data = nullptr;  // owned: the buffer (a private mapping natively)
  size_t m_capacity = 0;
  size_t m_size = 0;  // bytes of the last file read
  FileFailure m_failure;
};
