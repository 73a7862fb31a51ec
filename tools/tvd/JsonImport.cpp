#include "JsonImport.h"

#include "ValueText.h"

#include <limits>
#include <new>

using nlohmann::json;
using Value = JsonImport::Value;
using Members = JsonImport::Members;

namespace {

const char kUtf16Suffix[] = "_utf16";

// Where in the input a fault is, for the message.
class Place {
 public:
  explicit Place(std::string path) : m_path(std::move(path)) {}
  Place operator/(const std::string& key) const {
    return Place(m_path + (m_path.empty() ? "" : ".") + key);
  }
  Place operator[](size_t index) const { return Place(m_path + "[" + std::to_string(index) + "]"); }
  ToolError Error(const std::string& what) const {
    return ToolError(ToolError::kFileProblem,
                     "JSON: " + (m_path.empty() ? std::string() : m_path + ": ") + what);
  }
  [[noreturn]] void Fail(const std::string& what) const { throw Error(what); }

 private:
  std::string m_path;
};

const Value* Member(const Members& object, const std::string& key) {
  const auto it = object.find(key);
  return it == object.end() ? nullptr : &it->second;
}

// A BSTR even for a long text, which is converted into it in pieces: the
// text is never held twice in UTF-16.
UniqueBstr TakeText(const Members& object, const std::string& key, const Place& place) {
  UniqueBstr text;
  if (const Value* units = Member(object, key + kUtf16Suffix)) {
    WString wide;
    if (units->kind != Value::kString || !ValueText::UnitsFromHex(units->text, wide))
      (place / (key + kUtf16Suffix)).Fail("expected UTF-16 code units as 4 hex digits each");
    text.reset(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
    if (!text.get()) throw std::bad_alloc();
  } else {
    const Value* value = Member(object, key);
    if (!value) place.Fail("\"" + key + "\" is missing");
    if (value->kind != Value::kString) (place / key).Fail("expected a string");
    if (!ValueText::BstrFromUtf8(value->text, text)) (place / key).Fail("not valid UTF-8");
  }
  if (ValueText::WStringView(text.get(), text.length()).find(OLECHAR(0)) != WString::npos)
    (place / key).Fail("holds a zero character, which a .tvd file cannot store");
  return text;
}

// Stores into out directly, so that the bits of a NaN never pass through
// the FPU (see ValueText::BitsHex). A date written by hand may give only its
// calendar form, "iso", which counts when "bits" and "value" are absent.
void TakeDouble(const Members& object, const Place& place, bool isDate, double& out) {
  if (const Value* bits = Member(object, "bits")) {
    if (bits->kind != Value::kString || !ValueText::DoubleFromBitsHex(bits->text, out))
      (place / "bits").Fail("expected the 64-bit pattern as 16 hex digits");
    return;
  }
  const Value* value = Member(object, "value");
  const Value* iso = isDate ? Member(object, "iso") : nullptr;
  if (!value && iso) {
    std::string why;
    if (iso->kind != Value::kString || !ValueText::ParseIsoDate(iso->text, out, why))
      (place / "iso").Fail("expected a calendar date (YYYY-MM-DD[THH:MM[:SS[.fff]]])");
    return;
  }
  if (!value) place.Fail(isDate ? "\"value\" (or \"iso\") is missing" : "\"value\" is missing");
  switch (value->kind) {
    case Value::kInteger: out = static_cast<double>(value->integer); return;
    case Value::kUnsigned: out = static_cast<double>(value->whole); return;
    case Value::kFloat: out = value->number; return;
    default: break;
  }
  const std::string s = value->kind == Value::kString ? value->text : std::string();
  if (s == "NaN")
    out = std::numeric_limits<double>::quiet_NaN();
  else if (s == "Infinity")
    out = std::numeric_limits<double>::infinity();
  else if (s == "-Infinity")
    out = -std::numeric_limits<double>::infinity();
  else
    (place / "value").Fail("expected a number, \"NaN\", \"Infinity\" or \"-Infinity\"");
}

int32_t TakeI4(const Members& object, const Place& place) {
  const Value* value = Member(object, "value");
  if (!value) place.Fail("\"value\" is missing");
  if (value->kind == Value::kUnsigned && value->whole <= 2147483647u)
    return static_cast<int32_t>(value->whole);
  if (value->kind == Value::kInteger && value->integer >= -2147483648LL &&
      value->integer <= 2147483647LL)
    return static_cast<int32_t>(value->integer);
  (place / "value").Fail("expected a whole number from -2147483648 to 2147483647");
}

void TakeValue(const Members& object, VARIANT& out, const Place& place) {
  const Value* type = Member(object, "type");
  if (!type) place.Fail("\"type\" is missing");
  const std::string t = type->kind == Value::kString ? type->text : std::string();
  if (t == "i4") {
    out.lVal = TakeI4(object, place);
    out.vt = VT_I4;
  } else if (t == "r8") {
    TakeDouble(object, place, false, out.dblVal);
    out.vt = VT_R8;
  } else if (t == "date") {
    TakeDouble(object, place, true, out.date);
    out.vt = VT_DATE;
  } else if (t == "text") {
    out.bstrVal = TakeText(object, "value", place).release();
    out.vt = VT_BSTR;
  } else {
    (place / "type").Fail("expected \"i4\", \"r8\", \"date\" or \"text\"");
  }
}

bool IsNameKey(const std::string& key) { return key == "name" || key == "name_utf16"; }

bool IsAttribKey(const std::string& key) {
  return IsNameKey(key) || key == "type" || key == "value" || key == "value_utf16" ||
         key == "bits" || key == "iso";
}

Place BlockPlace(size_t index) { return (Place("") / "blocks")[index]; }

}  // namespace

void JsonImport::Read(const std::string& text, VirtualDocument& doc) { Parse(text, doc); }

void JsonImport::Read(std::FILE* in, VirtualDocument& doc) { Parse(in, doc); }

template <typename Input>
void JsonImport::Parse(Input&& input, VirtualDocument& doc) {
  doc.Clear();
  JsonImport reader(doc);
  if (!json::sax_parse(std::forward<Input>(input), &reader)) throw *reader.m_notJson;
  if (reader.m_fault) throw *reader.m_fault;
}

bool JsonImport::null() { return Scalar(Value()); }

bool JsonImport::boolean(bool) { return Scalar(Value()); }

bool JsonImport::number_integer(number_integer_t value) {
  return Scalar({Value::kInteger, {}, value});
}

bool JsonImport::number_unsigned(number_unsigned_t value) {
  return Scalar({Value::kUnsigned, {}, 0, value});
}

bool JsonImport::number_float(number_float_t value, const string_t&) {
  return Scalar({Value::kFloat, {}, 0, 0, value});
}

bool JsonImport::string(string_t& value) {
  // The parser's own string: a long one is moved, not copied.
  return Scalar({Value::kString, std::move(value)});
}

bool JsonImport::binary(binary_t&) { return Scalar(Value()); }  // never in JSON text

bool JsonImport::start_object(std::size_t) { return Open(Shape::kObject); }

bool JsonImport::start_array(std::size_t) { return Open(Shape::kArray); }

bool JsonImport::key(string_t& value) {
  m_key = std::move(value);
  return true;
}

bool JsonImport::end_object() {
  const Node node = m_open.back();
  m_open.pop_back();
  if (node == Node::kBlock)
    EndBlock();
  else if (node == Node::kAttrib)
    EndAttrib();
  else if (node == Node::kRoot && !m_sawBlocks)
    Fault(Place("").Error("\"blocks\" is missing"));
  return true;
}

bool JsonImport::end_array() {
  m_open.pop_back();
  return true;
}

bool JsonImport::parse_error(std::size_t, const std::string&,
                             const nlohmann::json::exception& error) {
  std::string what = error.what();
  const size_t end = what.find("] ");
  if (what.rfind("[json.exception", 0) == 0 && end != std::string::npos) what.erase(0, end + 2);
  m_notJson = ToolError(ToolError::kFileProblem, "not JSON: " + what);
  return false;
}

bool JsonImport::Scalar(Value value) {
  Take(std::move(value), Shape::kScalar);
  return true;
}

bool JsonImport::Open(Shape shape) {
  m_open.push_back(Take(Value(), shape));
  return true;
}

JsonImport::Node JsonImport::Take(Value value, Shape shape) {
  const bool isObject = shape == Shape::kObject, isArray = shape == Shape::kArray;
  if (m_open.empty()) {
    if (isObject) return Node::kRoot;
    Fault(Place("").Error("expected an object at the top"));
    return Node::kSkipped;
  }
  switch (m_open.back()) {
    case Node::kRoot:
      if (m_key != "blocks") return Node::kSkipped;
      // A repeated key replaces what came before, as in a tree.
      m_doc.Clear();
      m_fault.reset();
      m_sawBlocks = true;
      m_blockIndex = 0;
      if (isArray) return Node::kBlocks;
      Fault((Place("") / "blocks").Error("expected an array"));
      return Node::kSkipped;
    case Node::kBlocks:
      if (m_fault) return Node::kSkipped;  // nothing after the first fault counts
      if (!isObject) {
        Fault(BlockPlace(m_blockIndex++).Error("expected an object"));
        return Node::kSkipped;
      }
      m_block.clear();
      m_attributes = Attributes::kAbsent;
      m_pending.clear();
      m_attribFault.reset();
      return Node::kBlock;
    case Node::kBlock: return TakeInBlock(value, shape);
    case Node::kAttributes:
      if (m_attribFault) return Node::kSkipped;
      if (!isObject) {
        m_attribFault =
            (BlockPlace(m_blockIndex) / "attributes")[m_attribIndex++].Error("expected an object");
        return Node::kSkipped;
      }
      m_attrib.clear();
      return Node::kAttrib;
    case Node::kAttrib:
      if (IsAttribKey(m_key)) m_attrib[m_key] = std::move(value);
      return Node::kSkipped;
    case Node::kSkipped: return Node::kSkipped;
  }
  return Node::kSkipped;
}

JsonImport::Node JsonImport::TakeInBlock(Value& value, Shape shape) {
  if (IsNameKey(m_key)) {
    m_block[m_key] = std::move(value);
    return Node::kSkipped;
  }
  if (m_key != "attributes") return Node::kSkipped;
  m_pending.clear();
  m_attribFault.reset();
  m_attribIndex = 0;
  m_attributes = shape == Shape::kArray ? Attributes::kArray : Attributes::kNotArray;
  return shape == Shape::kArray ? Node::kAttributes : Node::kSkipped;
}

void JsonImport::EndBlock() {
  const Place place = BlockPlace(m_blockIndex++);
  try {
    const UniqueBstr name = TakeText(m_block, "name", place);
    if (m_attributes == Attributes::kNotArray) (place / "attributes").Fail("expected an array");
    if (m_attribFault) throw *m_attribFault;
    VirtualDocument::Block& block = m_doc.AppendBlock(name.get(), name.length());
    for (; !m_pending.empty(); m_pending.pop_front()) {
      PendingAttrib& a = m_pending.front();
      block.AppendAttrib(a.name.get(), a.name.length()).Take(a.value);
    }
  } catch (const ToolError& e) {
    Fault(e);
  }
  m_block.clear();
  m_pending.clear();
}

void JsonImport::EndAttrib() {
  const Place place = (BlockPlace(m_blockIndex) / "attributes")[m_attribIndex++];
  try {
    UniqueBstr name = TakeText(m_attrib, "name", place);
    UniqueVariant value;
    TakeValue(m_attrib, value, place);
    PendingAttrib& a = m_pending.emplace_back();
    a.name = std::move(name);
    value.MoveTo(a.value);
  } catch (const ToolError& e) {
    m_attribFault = e;
    m_pending.clear();
  }
  m_attrib.clear();
}

void JsonImport::Fault(const ToolError& error) {
  if (!m_fault) m_fault = error;
}
