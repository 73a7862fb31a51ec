#include "JsonView.h"

#include "DocumentReader.h"
#include "ToolError.h"
#include "UniqueVariant.h"
#include "Utf.h"
#include "ValueText.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

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

// Where in the input a fault is, for the message.
class Place {
 public:
  explicit Place(std::string path) : m_path(std::move(path)) {}
  Place operator/(const std::string& key) const {
    return Place(m_path + (m_path.empty() ? "" : ".") + key);
  }
  Place operator[](size_t index) const { return Place(m_path + "[" + std::to_string(index) + "]"); }
  [[noreturn]] void Fail(const std::string& what) const {
    throw ToolError(ToolError::kFileProblem,
                    "JSON: " + (m_path.empty() ? std::string() : m_path + ": ") + what);
  }

 private:
  std::string m_path;
};

const json* Member(const json& object, const std::string& key) {
  const auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

WString TakeText(const json& object, const std::string& key, const Place& place) {
  WString text;
  if (const json* units = Member(object, key + kUtf16Suffix)) {
    if (!units->is_string() || !ValueText::UnitsFromHex(units->get<std::string>(), text))
      (place / (key + kUtf16Suffix)).Fail("expected UTF-16 code units as 4 hex digits each");
  } else {
    const json* value = Member(object, key);
    if (!value) place.Fail("\"" + key + "\" is missing");
    if (!value->is_string()) (place / key).Fail("expected a string");
    if (!Utf16FromUtf8(value->get<std::string>(), text)) (place / key).Fail("not valid UTF-8");
  }
  if (text.find(OLECHAR(0)) != WString::npos)
    (place / key).Fail("holds a zero character, which a .tvd file cannot store");
  return text;
}

// Stores into out directly, so that the bits of a NaN never pass through
// the FPU (see ValueText::BitsHex).
void TakeDouble(const json& object, const Place& place, double& out) {
  if (const json* bits = Member(object, "bits")) {
    if (!bits->is_string() || !ValueText::DoubleFromBitsHex(bits->get<std::string>(), out))
      (place / "bits").Fail("expected the 64-bit pattern as 16 hex digits");
    return;
  }
  const json* value = Member(object, "value");
  if (!value) place.Fail("\"value\" is missing");
  if (value->is_number()) {
    out = value->get<double>();
    return;
  }
  const std::string s = value->is_string() ? value->get<std::string>() : std::string();
  if (s == "NaN")
    out = std::numeric_limits<double>::quiet_NaN();
  else if (s == "Infinity")
    out = std::numeric_limits<double>::infinity();
  else if (s == "-Infinity")
    out = -std::numeric_limits<double>::infinity();
  else
    (place / "value").Fail("expected a number, \"NaN\", \"Infinity\" or \"-Infinity\"");
}

int32_t TakeI4(const json& object, const Place& place) {
  const json* value = Member(object, "value");
  if (!value) place.Fail("\"value\" is missing");
  if (value->is_number_unsigned()) {
    if (value->get<uint64_t>() <= 2147483647u) return static_cast<int32_t>(value->get<uint64_t>());
  } else if (value->is_number_integer()) {
    const int64_t v = value->get<int64_t>();
    if (v >= -2147483648LL && v <= 2147483647LL) return static_cast<int32_t>(v);
  }
  (place / "value").Fail("expected a whole number from -2147483648 to 2147483647");
}

void TakeValue(const json& object, VARIANT& out, const Place& place) {
  const json* type = Member(object, "type");
  if (!type) place.Fail("\"type\" is missing");
  const std::string t = type->is_string() ? type->get<std::string>() : std::string();
  if (t == "i4") {
    out.lVal = TakeI4(object, place);
    out.vt = VT_I4;
  } else if (t == "r8") {
    TakeDouble(object, place, out.dblVal);
    out.vt = VT_R8;
  } else if (t == "date") {
    TakeDouble(object, place, out.date);
    out.vt = VT_DATE;
  } else if (t == "text") {
    const WString text = TakeText(object, "value", place);
    BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!b) throw std::bad_alloc();
    out.bstrVal = b;
    out.vt = VT_BSTR;
  } else {
    (place / "type").Fail("expected \"i4\", \"r8\", \"date\" or \"text\"");
  }
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

void JsonView::Import(const std::string& text, VirtualDocument& doc) {
  json root;
  try {
    root = json::parse(text);
  } catch (const json::exception& e) {
    std::string what = e.what();
    const size_t end = what.find("] ");
    if (what.rfind("[json.exception", 0) == 0 && end != std::string::npos) what.erase(0, end + 2);
    throw ToolError(ToolError::kFileProblem, "not JSON: " + what);
  }
  ToDocument(root, doc);
}

void JsonView::ToDocument(const json& root, VirtualDocument& doc) {
  const Place top("");
  if (!root.is_object()) top.Fail("expected an object at the top");
  const json* blocks = Member(root, "blocks");
  if (!blocks) top.Fail("\"blocks\" is missing");
  if (!blocks->is_array()) (top / "blocks").Fail("expected an array");
  for (size_t i = 0; i < blocks->size(); ++i) {
    const json& b = (*blocks)[i];
    const Place blockPlace = (top / "blocks")[i];
    if (!b.is_object()) blockPlace.Fail("expected an object");
    const WString blockName = TakeText(b, "name", blockPlace);
    VirtualDocument::Block& block = doc.AppendBlock(blockName.data(), blockName.size());
    const json* attributes = Member(b, "attributes");
    if (!attributes) continue;  // a block without attributes
    if (!attributes->is_array()) (blockPlace / "attributes").Fail("expected an array");
    for (size_t k = 0; k < attributes->size(); ++k) {
      const json& a = (*attributes)[k];
      const Place attribPlace = (blockPlace / "attributes")[k];
      if (!a.is_object()) attribPlace.Fail("expected an object");
      const WString attribName = TakeText(a, "name", attribPlace);
      UniqueVariant value;
      TakeValue(a, value, attribPlace);
      block.AppendAttrib(attribName.data(), attribName.size()).Take(value);
    }
  }
}
