// Any bytes as the JSON of 'tvd import': refused with a message, or read
// into a document whose file, dumped and imported again, is the same file.
// Bytes that read as a .tvd file instead must import from their dump as the
// file that 'tvd convert' writes.
#include "ByteWriter.h"
#include "ChunkedOut.h"
#include "DocumentWriter.h"
#include "JsonImport.h"
#include "JsonView.h"
#include "ToolError.h"
#include "VirtualDocument.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Write(const VirtualDocument& doc, ByteWriter& out) {
  if (DocumentWriter::WriteBody(doc, out) != DocStatus::Ok) std::abort();
}

// The file that dumping doc and importing the JSON writes.
void DumpAndImport(const VirtualDocument& doc, ByteWriter& out) {
  std::string json;
  ChunkedOut chunks([&json](std::string_view text) { json += text; });
  JsonView::Write(doc, "Tavorin Virtual Document x.xx", doc.formatVersion(), chunks);
  chunks.Flush();
  VirtualDocument imported;
  JsonImport::Read(json, imported);  // a ToolError here escapes: a finding
  Write(imported, out);
}

bool Same(const ByteWriter& a, const ByteWriter& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VirtualDocument file;
  if (size > 0 && file.Read(data, size) == DocStatus::Ok) {
    ByteWriter converted, imported;
    DumpAndImport(file, imported);  // first: the dump walks blocks not yet decoded
    Write(file, converted);
    if (!Same(converted, imported)) std::abort();
    return 0;
  }

  VirtualDocument doc;
  try {
    JsonImport::Read(std::string(reinterpret_cast<const char*>(data), size), doc);
  } catch (const ToolError&) {
    return 0;
  }
  ByteWriter first;
  Write(doc, first);
  VirtualDocument loaded;
  if (loaded.Read(first.data(), first.size()) != DocStatus::Ok) std::abort();
  ByteWriter second;
  DumpAndImport(loaded, second);
  if (!Same(first, second)) std::abort();
  return 0;
}
