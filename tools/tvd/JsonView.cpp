#include "JsonView.h"

#include "DocumentReader.h"
#include "Utf.h"
#include "ValueText.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <string_view>

using nlohmann::json;

namespace {

constexpr std::string_view kUtf16Suffix = "_utf16";

// Between the members of an attribute's object and of a block's.
constexpr std::string_view kAttribMember = ",\n          ";
constexpr std::string_view kBlockMember = ",\n      ";

// "key": "text", then "key_utf16" after separator when the text holds an
// unpaired surrogate. Keys are plain ASCII words.
void WriteText(ChunkedOut& out, std::string_view key, ValueText::WStringView text,
               std::string_view separator) {
  out << "\"" << key << "\": \"";
  const bool valid = ValueText::WriteJsonText(text, out);
  out << "\"";
  if (valid) return;
  out << separator << "\"" << key << kUtf16Suffix << "\": \"";
  ValueText::WriteUnitsHex(text, out);
  out << "\"";
}

// A finite double as nlohmann's dump writes it (its own shortest form:
// "0.1", "-0.0", "1e+300"), made with the function its serializer uses.
void WriteNumber(ChunkedOut& out, double value) {
  char digits[64];
  const char* end = nlohmann::detail::to_chars(digits, digits + sizeof digits, value);
  out << std::string_view(digits, static_cast<size_t>(end - digits));
}

void WriteDouble(ChunkedOut& out, const double& value) {
  out << kAttribMember << "\"value\": ";
  if (std::isfinite(value)) {
    WriteNumber(out, value);
  } else {
    out << "\"" << ValueText::FormatDouble(value) << "\"" << kAttribMember << "\"bits\": \""
        << ValueText::BitsHex(value) << "\"";
  }
}

// The attribute's object as nlohmann's dump(2) lays it out at its depth;
// iso is room for a date's calendar form, kept from one attribute to the next.
void WriteAttrib(ChunkedOut& out, const VirtualDocument::Block::Attrib& attrib, std::string& iso) {
  out << "{\n          ";
  WriteText(out, "name", attrib.name, kAttribMember);
  out << kAttribMember << "\"type\": ";
  const VARIANT& v = attrib.value();
  if (v.vt == VT_I4) {
    char digits[16];
    const char* end = std::to_chars(digits, digits + sizeof digits, v.lVal).ptr;
    out << "\"i4\"" << kAttribMember
        << "\"value\": " << std::string_view(digits, static_cast<size_t>(end - digits));
  } else if (v.vt == VT_R8) {
    out << "\"r8\"";
    WriteDouble(out, v.dblVal);
  } else if (v.vt == VT_DATE) {
    out << "\"date\"";
    WriteDouble(out, v.date);
    if (ValueText::FormatIsoDate(v.date, iso))
      out << kAttribMember << "\"iso\": \"" << iso << "\"";  // digits and separators only
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
  std::string_view blockSeparator = "\n";
  std::string iso;
  for (const VirtualDocument::Block& block : doc.blocks()) {
    out << blockSeparator << "    {\n      ";
    WriteText(out, "name", block.name, kBlockMember);
    out << kBlockMember << "\"attributes\": [";
    std::string_view attribSeparator = "\n        ";
    DocumentReader::ForEachAttrib(block, [&](const VirtualDocument::Block::Attrib& attrib) {
      out << attribSeparator;
      WriteAttrib(out, attrib, iso);
      attribSeparator = ",\n        ";
    });
    out << (DocumentReader::AttribCount(block) == 0 ? "]" : "\n      ]") << "\n    }";
    blockSeparator = ",\n";
  }
  out << (doc.blocks().empty() ? "]" : "\n  ]") << "\n}\n";
}
