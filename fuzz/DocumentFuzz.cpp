// Any bytes: the reader must not crash, hang or allocate more than a small
// multiple of the input; whatever it accepts must survive a write and a
// second read unchanged.
#include "ByteWriter.h"
#include "DocumentWriter.h"
#include "VirtualDocument.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VirtualDocument doc;
  if (doc.Read(data, size) != DocStatus::Ok) return 0;

  ByteWriter first;
  if (DocumentWriter::WriteBody(doc, first) != DocStatus::Ok) std::abort();
  VirtualDocument again;
  if (again.Read(first.data(), first.size()) != DocStatus::Ok) std::abort();
  ByteWriter second;
  DocumentWriter::WriteBody(again, second);
  if (first.size() != second.size() || std::memcmp(first.data(), second.data(), first.size()) != 0)
    std::abort();
  return 0;
}
