// Any bytes: the reader must not crash, hang or allocate more than a small
// multiple of the input; whatever it accepts must survive a write and a
// second read unchanged.
#include "ByteWriter.h"
#include "DocumentReader.h"
#include "DocumentWriter.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VirtualDocument doc;
  DocumentReader reader(data, size);
  if (reader.ReadBody(doc) != DocStatus::Ok) return 0;

  ByteWriter first;
  if (DocumentWriter::WriteBody(doc, first) != DocStatus::Ok) std::abort();
  VirtualDocument again;
  DocumentReader reread(first.data(), first.size());
  if (reread.ReadBody(again) != DocStatus::Ok) std::abort();
  ByteWriter second;
  DocumentWriter::WriteBody(again, second);
  if (first.size() != second.size() || std::memcmp(first.data(), second.data(), first.size()) != 0)
    std::abort();
  return 0;
}
