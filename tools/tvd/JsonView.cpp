#include "JsonView.h"

#include "DocumentReader.h"
#include "Utf.h"
#include "ValueText.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <string_view>

using nlohmann::json;

namespace {

constexpr std::string_view kUtf16Suffix = "_utf16";

// Between the members of an attribute's object and of a block's.
constexpr std::string_view kAttribMember = ",\n          ";
constexpr std::string_view kBlockMember = ",\n      ";

// An attribute's object, laid out at its depth, in the pieces that never
// change: each written at once.
constexpr std::string_view kAttribName = "{\n          \"name\": \"";
constexpr std::string_view kAfterName = "\",\n          \"name_utf16\": \"";
constexpr std::string_view kI4Value = ",\n          \"type\": \"i4\",\n          \"value\": ";
constexpr std::string_view kR8Value = ",\n          \"type\": \"r8\",\n          \"value\": ";
constexpr std::string_view kDateValue = ",\n          \"type\": \"date\",\n          \"value\": ";
constexpr std::string_view kTextValue = ",\n          \"type\": \"text\",\n          \"value\": \"";
constexpr std::string_view kAfterValue = "\",\n          \"value_utf16\": \"";
constexpr std::string_view kIso = ",\n          \"iso\": \"";
constexpr std::string_view kAttribEnd = "\n        }";

// The inside of a JSON string and its closing quote; when the text holds an
// unpaired surrogate, then unitsMember (which closes the string and opens
// the "..._utf16" member) and the text's units.
void WriteString(ChunkedOut& out, ValueText::WStringView text, std::string_view unitsMember) {
  if (ValueText::WriteJsonText(text, out)) {
    out << "\"";
    return;
  }
  out << unitsMember;
  ValueText::WriteUnitsHex(text, out);
  out << "\"";
}

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
// "0.1", "-0.0", "1e+300"), made with the function its serializer uses;
// what JSON cannot hold as a string, with its bits beside it.
void WriteDouble(ChunkedOut& out, const double& value) {
  if (std::isfinite(value)) {
    char digits[64];
    const char* end = nlohmann::detail::to_chars(digits, digits + sizeof digits, value);
    out << std::string_view(digits, static_cast<size_t>(end - digits));
  } else {
    out << "\"" << ValueText::FormatDouble(value) << "\"" << kAttribMember << "\"bits\": \""
        << ValueText::BitsHex(value) << "\"";
  }
}

// The attribute's object as nlohmann's dump(2) lays it out at its depth;
// iso is room for a date's calendar form, kept from one attribute to the next.
void WriteAttrib(ChunkedOut& out, const VirtualDocument::Block::Attrib& attrib, std::string& iso) {
  out << kAttribName;
  WriteString(out, attrib.name, kAfterName);
  const VARIANT& v = attrib.value();
  if (v.vt == VT_I4) {
    out << kI4Value;
    ValueText::WriteNumber(v.lVal, out);
  } else if (v.vt == VT_R8) {
    out << kR8Value;
    WriteDouble(out, v.dblVal);
  } else if (v.vt == VT_DATE) {
    out << kDateValue;
    WriteDouble(out, v.date);
    if (ValueText::FormatIsoDate(v.date, iso))
      out << kIso << iso << "\"";  // digits and separators only
  } else {
    // A loaded document holds nothing else; anything that is not one of the
    // stored types is text, as a save would make it.
    WString held;
    ValueText::WStringView text;
    ValueText::TextOf(v, held, text);
    out << kTextValue;
    WriteString(out, text, kAfterValue);
  }
  out << kAttribEnd;
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
