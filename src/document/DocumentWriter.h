// Lays a document out in the newest file format ("x.xx", version 2,
// UTF-16LE strings, tagged values).
#pragma once

#include "ByteWriter.h"
#include "VirtualDocument.h"

class DocumentWriter {
 public:
  // Ok, or WriteFailed when a value has no text form.
  static DocStatus WriteBody(const VirtualDocument& doc, ByteWriter& out);
  static void WriteString(ByteWriter& out, const OLECHAR* text);
  static bool WriteValue(ByteWriter& out, const VARIANT& value);
};
