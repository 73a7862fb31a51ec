#include "JsonView.h"

#include "DocumentReader.h"
#include "Utf.h"
#include "ValueText.h"

#include <nlohmann/json.hpp>

#include <cmath>

using nlohmann::json;

namespace {

const char kUtf16Suffix[] = "_utf16";

// Between the members of an attribute's object and of a block's.
const char kAttribMember[] = ",\n          ";
const char kBlockMember[] = ",\n      ";

// "key": "text", written in pieces, then "key_utf16" after separator when
// the text holds an unpaired surrogate.
void WriteText(ChunkedOut& out, const std::string& key, ValueText::WStringView text,
               const char* separator) {
  out << json(key).dump() << ": \"";
  bool valid = true;
  ValueText::ForEachPiece(text, [&](const WString& piece) {
    const std::string quoted = json(ValueText::Readable(piece)).dump();
    out << std::string_view(quoted).substr(1, quoted.size() - 2);
    valid = valid && IsValidUtf16(piece);
  });
  out << "\"";
  if (valid) return;
  out << separator << json(key + kUtf16Suffix).dump() << ": \"";
  ValueText::ForEachPiece(text, [&](const WString& piece) { out << ValueText::UnitsHex(piece); });
  out << "\"";
}

void WriteDouble(ChunkedOut& out, const double& value) {
  if (std::isfinite(value)) {
    out << kAttribMember << "\"value\": " << json(value).dump();
  } else {
    out << kAttribMember << "\"value\": " << json(ValueText::FormatDouble(value)).dump()
        << kAttribMember << "\"bits\": " << json(ValueText::BitsHex(value)).dump();
  }
}

// The attribute's object as nlohmann's dump(2) lays it out at its depth.
void WriteAttrib(ChunkedOut& out, const VirtualDocument::Block::Attrib& attrib) {
  out << "{\n          ";
  WriteText(out, "name", attrib.name, kAttribMember);
  out << kAttribMember << "\"type\": ";
  const VARIANT& v = attrib.value();
  if (v.vt == VT_I4) {
    out << "\"i4\"" << kAttribMember << "\"value\": " << json(v.lVal).dump();
  } else if (v.vt == VT_R8) {
    out << "\"r8\"";
    WriteDouble(out, v.dblVal);
  } else if (v.vt == VT_DATE) {
    out << "\"date\"";
    WriteDouble(out, v.date);
    std::string iso;
    if (ValueText::FormatIsoDate(v.date, iso))
      out << kAttribMember << "\"iso\": " << json(iso).dump();
  } else {
    // A loaded document holds nothing else; anything that is not one of the
    // stored types is text, as a save would make it.
    out << "\"text\"" << kAttribMember;
    WString held;
    ValueText::WStringView text;
    ValueText::TextOf(v, held, text);
    WriteText(out, "value", text, kAttribMember);
  }
  out << "\n        }";
}

}  // namespace

void JsonView::Write(const VirtualDocument& doc, const std::string& generation, int version,
                     ChunkedOut& out) {
  out << "{\n  \"generation\": " << json(generation).dump()
      << ",\n  \"version\": " << std::to_string(version) << ",\n  \"blocks\": [";
  const char* blockSeparator = "\n";
  for (const VirtualDocument::Block& block : doc.blocks()) {
    out << blockSeparator << "    {\n      ";
    WriteText(out, "name", block.name, kBlockMember);
    out << kBlockMember << "\"attributes\": [";
    const char* attribSeparator = "\n        ";
    DocumentReader::ForEachAttrib(block, [&](const VirtualDocument::Block::Attrib& attrib) {
      out << attribSeparator;
      WriteAttrib(out, attrib);
      attribSeparator = ",\n        ";
    });
    out << (DocumentReader::AttribCount(block) == 0 ? "]" : "\n      ]") << "\n    }";
    blockSeparator = ",\n";
  }
  out << (doc.blocks().empty() ? "]" : "\n  ]") << "\n}\n";
}
