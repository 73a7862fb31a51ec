// Parses a registration script (replacements already made) into the keys
// below the classes root. The language as our scripts use it:
//
//   script := ( ("HKCR" | "HKEY_CLASSES_ROOT") "{" entry* "}" )*
//   entry  := [ "NoRemove" | "ForceRemove" ] name [ "=" "s" string ] [ "{" entry* "}" ]
//           | "val" name "=" "s" string
//
// Keywords are matched without regard to case, and only as bare words (a
// quoted 'NoRemove' is a key name). Anything else the language has (other
// roots, "Delete", value types other than "s") is refused, as are names
// that are empty or hold a '\', and keys nested deeper than kMaxDepth.
#pragma once

#include <vector>

#include "RegNode.h"
#include "RegResult.h"
#include "RegTokenizer.h"

class RegParser {
 public:
  static constexpr int kMaxDepth = 32;

  explicit RegParser(std::u16string text) : m_tokenizer(std::move(text)) {}

  // All keys of every root block, in order.
  RegResult Parse(std::vector<RegNode>& keys);

 private:
  RegResult Advance();
  RegResult ParseEntries(std::vector<RegNode>& entries, int depth, bool atRoot);
  RegResult ParseEntry(RegNode& node, int depth, bool atRoot);
  RegResult ParseStringValue(std::u16string& data);
  RegResult ParseName(std::u16string& name);

  RegTokenizer m_tokenizer;
  RegToken m_token;  // the current token
};
