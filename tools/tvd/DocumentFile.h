// One document file's bytes, read with one open: the file is opened, checked
// and read once, and a document reads its content from these bytes without
// a copy. The buffer is kept from file to file, so that a tool reading many
// files does not pay for fresh memory each time.
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
  // What the document does with the bytes after Load. A check that only
  // counts what Load found lets a large file be mapped rather than read:
  // much cheaper than filling fresh memory. The bytes of a mapped file may
  // then not be touched after Load (no decoding, no data()), since another
  // program may cut the file short meanwhile.
  // Decode: the document borrows the bytes and may rewrite them as it
  // decodes; Keep: it reads a copy, and data() stays what the file holds;
  // CountOnly: nothing is decoded, and a large file is mapped.
  enum class Use { Decode, Keep, CountOnly };

  explicit DocumentFile(Use use = Use::Decode) : m_use(use) {}
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

  // The 29 characters of the header that data begins with, or "" for none.
  static std::string GenerationOf(const uint8_t* data, size_t size);

  // The bytes read, as the file holds them with Use::Keep.
  const uint8_t* data() const { return m_data; }
  size_t size() const { return m_size; }
  // The 29 characters of the header's magic, or "" for bytes without one.
  const std::string& Generation() const { return m_generation; }
  const FileFailure& failure() const { return m_failure; }

 private:
  // Opens path and reads (or maps) it; false when it cannot be read.
  bool ReadFile(const NativePath& path);
  // Room for size bytes in the buffer; false when there is not enough memory.
  bool Reserve(size_t size);
  // Fills the buffer from readInto(into, n), which returns how many bytes it read.
  template <typename ReadFn>
  void ReadBody(const ReadFn& readInto, size_t size);
  // Reads the document from m_data: under a guard where the file is mapped.
  DocStatus ReadDocument(VirtualDocument& doc, bool& cutShort);
  // Reads the document from m_data as the use says: borrowed or copied.
  DocStatus Borrow(VirtualDocument& doc);
  void Unmap();
  bool Fail(FileFailure::Step step, uint32_t error);

  Use m_use;
  uint8_t* m_buffer = nullptr;  // owned: kept from file to file (a private mapping natively)
  size_t m_capacity = 0;
  uint8_t* m_mapped = nullptr;  // owned: the file itself, mapped (natively, large files)
  size_t m_mappedSize = 0;
  NativeFile m_open;          // the mapped file, open while it is read
  uint8_t* m_data = nullptr;  // borrowed: the buffer or the mapping
  size_t m_size = 0;          // bytes of the last file read
  std::string m_generation;
  FileFailure m_failure;
};
