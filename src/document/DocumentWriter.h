// Lays a document out in the newest file format ("x.xx", version 2,
// UTF-16LE strings, tagged values): measured first, then written into a
// buffer of that size.
#pragma once

#include "ByteWriter.h"
#include "UniqueVariant.h"
#include "VirtualDocument.h"

class DocumentWriter {
 public:
  // Ok, or WriteFailed when a value has no text form or a count does not
  // fit its field. Throws std::bad_alloc when the layout does not fit in
  // memory.
  static DocStatus WriteBody(const VirtualDocument& doc, ByteWriter& out);
  static void WriteString(ByteWriter& out, const OLECHAR* text);
  static bool WriteValue(ByteWriter& out, const VARIANT& value);

 private:
  // The bytes WriteBody writes; false where it fails.
  static bool Measure(const VirtualDocument& doc, uint64_t& size);
  // A value of any other type than those the file keeps, as text.
  static bool TextForm(const VARIANT& value, UniqueVariant& text);
};
