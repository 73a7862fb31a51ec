// Reads the JSON form of a document (see JsonView) as the parser goes and
// builds the document from it directly, so that the JSON is never held as a
// tree: an import takes the JSON's bytes, the document and one long string
// at a time.
//
// It refuses what a reading of the whole tree would refuse, and names the
// same fault: a syntax error anywhere before everything else; then the first
// fault in the order of the blocks, a block's name before its attributes;
// the last of a repeated key is the one that counts. A block's attributes
// are kept aside until the block's object ends, because its name may follow
// them.
#pragma once

#include "ToolError.h"
#include "UniqueBstr.h"
#include "UniqueVariant.h"
#include "VirtualDocument.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

class JsonImport : public nlohmann::json_sax<nlohmann::json> {
 public:
  // Clears doc and reads into it the blocks that the JSON describes; a
  // ToolError ("not JSON: ...", or naming the place, as
  // blocks[1].attributes[0].value) for anything it cannot take exactly.
  static void Read(const std::string& text, VirtualDocument& doc);
  // The same, reading the file as the parser goes, so that its bytes are
  // never held whole. A failed read ends the JSON early: see ferror(in).
  static void Read(std::FILE* in, VirtualDocument& doc);

  bool null() override;
  bool boolean(bool value) override;
  bool number_integer(number_integer_t value) override;
  bool number_unsigned(number_unsigned_t value) override;
  bool number_float(number_float_t value, const string_t& text) override;
  bool string(string_t& value) override;
  bool binary(binary_t& value) override;
  bool start_object(std::size_t elements) override;
  bool key(string_t& value) override;
  bool end_object() override;
  bool start_array(std::size_t elements) override;
  bool end_array() override;
  bool parse_error(std::size_t position, const std::string& lastToken,
                   const nlohmann::json::exception& error) override;

  // A member's value as far as the import looks at it.
  struct Value {
    enum Kind { kOther, kString, kInteger, kUnsigned, kFloat } kind = kOther;
    std::string text;     // kString
    int64_t integer = 0;  // kInteger
    uint64_t whole = 0;   // kUnsigned
    double number = 0;    // kFloat
  };
  using Members = std::map<std::string, Value>;

 private:
  // What an open object or array is to the import.
  enum class Node { kSkipped, kRoot, kBlocks, kBlock, kAttributes, kAttrib };
  enum class Shape { kScalar, kObject, kArray };
  enum class Attributes { kAbsent, kArray, kNotArray };
  struct PendingAttrib {
    UniqueBstr name;
    UniqueVariant value;
  };

  explicit JsonImport(VirtualDocument& doc) : m_doc(doc) {}
  template <typename Input>
  static void Parse(Input&& input, VirtualDocument& doc);

  // Takes a value that has just begun in the open object or array; returns
  // what it is to the import when it is an object or array.
  Node Take(Value value, Shape shape);
  Node TakeInBlock(Value& value, Shape shape);
  // A value with nothing inside, and an object or array that begins.
  bool Scalar(Value value);
  bool Open(Shape shape);
  void EndBlock();
  void EndAttrib();
  void Fault(const ToolError& error);

  VirtualDocument& m_doc;              // borrowed: what is built
  std::vector<Node> m_open;            // the objects and arrays open, outermost first
  std::string m_key;                   // the key of the value to come in the open object
  std::optional<ToolError> m_fault;    // the first fault, reported at the end
  std::optional<ToolError> m_notJson;  // the parser's
  bool m_sawBlocks = false;
  size_t m_blockIndex = 0;  // of the open block in "blocks"
  Members m_block;          // the open block's name members
  Attributes m_attributes = Attributes::kAbsent;
  std::deque<PendingAttrib> m_pending;     // the open block's attributes
  std::optional<ToolError> m_attribFault;  // the first among the open block's attributes
  size_t m_attribIndex = 0;                // of the open attribute in "attributes"
  Members m_attrib;                        // the open attribute's members
};
