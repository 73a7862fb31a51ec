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
using nlohmann::ordered_json;

namespace {

const char kUtf16Suffix[] = "_utf16";

void PutText(ordered_json& object, const std::string& key, const WString& text) {
  object[key] = ValueText::Readable(text);
  if (!IsValidUtf16(text)) object[key + kUtf16Suffix] = ValueText::UnitsHex(text);
}

void PutDouble(ordered_json& object, const double& value) {
  if (std::isfinite(value)) {
    object["value"] = value;
  } else {
    object["value"] = ValueText::FormatDouble(value);
    object["bits"] = ValueText::BitsHex(value);
  }
}

ordered_json AttribJson(const VirtualDocument::Block::Attrib& attrib) {
  ordered_json a;
  PutText(a, "name", WString(attrib.name));
  const VARIANT& v = attrib.value();
  if (v.vt == VT_I4) {
    a["type"] = "i4";
    a["value"] = v.lVal;
  } else if (v.vt == VT_R8) {
    a["type"] = "r8";
    PutDouble(a, v.dblVal);
  } else if (v.vt == VT_DATE) {
    a["type"] = "date";
    PutDouble(a, v.date);
    std::string iso;
    if (ValueText::FormatIsoDate(v.date, iso)) a["iso"] = iso;
  } else {
    // A loaded document holds nothing else; anything that is not one of the
    // stored types is text, as a save would make it.
    a["type"] = "text";
    WString text;
    ValueText::TextOf(v, text);
    PutText(a, "value", text);
  }
  return a;
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
    ordered_json name;
    PutText(name, "name", WString(block.name));
    out << blockSeparator << "    {";
    for (const auto& item : name.items())
      out << "\n      " << json(item.key()).dump() << ": " << item.value().dump() << ",";
    out << "\n      \"attributes\": [";
    const char* attribSeparator = "\n        ";
    DocumentReader::ForEachAttrib(block, [&](const VirtualDocument::Block::Attrib& attrib) {
      // Every member is a plain value, so the object's lines only need
      // indenting to its depth.
      std::string text = AttribJson(attrib).dump(2);
      for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 9))
        text.insert(at + 1, 8, ' ');
      out << attribSeparator << text;
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
