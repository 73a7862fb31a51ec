#include "RegParser.h"

namespace {

using Kind = RegToken::Kind;

bool IsKeyword(const RegToken& token, const char* keyword) {
  if (token.kind != Kind::Word) return false;
  size_t i = 0;
  for (; keyword[i]; ++i) {
    if (i == token.text.size()) return false;
    char16_t c = token.text[i];
    if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
    char16_t k = static_cast<char16_t>(keyword[i]);
    if (k >= u'A' && k <= u'Z') k = char16_t(k - u'A' + u'a');
    if (c != k) return false;
  }
  return i == token.text.size();
}

RegResult Fault(RegFault fault, const RegToken& at, const char* message) {
  return RegResult::Failure(fault, at.offset, message);
}

}  // namespace

RegResult RegParser::Advance() {
  if (!m_tokenizer.Next(m_token))
    return RegResult::Failure(RegFault::Syntax, m_tokenizer.faultOffset(),
                              "string without its closing quote");
  return RegResult();
}

RegResult RegParser::Parse(std::vector<RegNode>& keys) {
  keys.clear();
  RegResult result = Advance();
  while (result.ok() && m_token.kind != Kind::End) {
    if (m_token.kind != Kind::Word) return Fault(RegFault::Syntax, m_token, "root key expected");
    if (!IsKeyword(m_token, "HKCR") && !IsKeyword(m_token, "HKEY_CLASSES_ROOT"))
      return Fault(RegFault::Unsupported, m_token, "only the classes root (HKCR) is supported");
    if (!(result = Advance()).ok()) return result;
    if (m_token.kind != Kind::Open)
      return Fault(RegFault::Syntax, m_token, "'{' expected after the root key");
    if (!(result = Advance()).ok()) return result;
    if (!(result = ParseEntries(keys, 1, true)).ok()) return result;
    result = Advance();  // past the root's '}'
  }
  return result;
}

// Entries up to the '}' that ends their block, which stays the current token.
RegResult RegParser::ParseEntries(std::vector<RegNode>& entries, int depth, bool atRoot) {
  if (depth > kMaxDepth) return Fault(RegFault::Unsupported, m_token, "keys nested too deep");
  while (m_token.kind != Kind::Close) {
    if (m_token.kind == Kind::End)
      return Fault(RegFault::Syntax, m_token, "'}' expected before the end");
    RegNode node;
    RegResult result = ParseEntry(node, depth, atRoot);
    if (!result.ok()) return result;
    entries.push_back(std::move(node));
  }
  return RegResult();
}

// One entry; the current token is the one after it afterwards.
RegResult RegParser::ParseEntry(RegNode& node, int depth, bool atRoot) {
  RegResult result;
  if (IsKeyword(m_token, "val")) {
    if (atRoot)
      return Fault(RegFault::Unsupported, m_token, "a named value needs a key to hold it");
    node.isValue = true;
    if (!(result = Advance()).ok()) return result;
    if (!(result = ParseName(node.name)).ok()) return result;
    if (m_token.kind != Kind::Equals)
      return Fault(RegFault::Syntax, m_token, "'=' expected after the value's name");
    if (!(result = Advance()).ok()) return result;
    node.hasData = true;
    return ParseStringValue(node.data);
  }
  if (IsKeyword(m_token, "NoRemove") || IsKeyword(m_token, "ForceRemove")) {
    node.flag =
        IsKeyword(m_token, "NoRemove") ? RegNode::Flag::NoRemove : RegNode::Flag::ForceRemove;
    if (!(result = Advance()).ok()) return result;
  }
  if (IsKeyword(m_token, "Delete"))
    return Fault(RegFault::Unsupported, m_token, "'Delete' is not supported");
  if (IsKeyword(m_token, "NoRemove") || IsKeyword(m_token, "ForceRemove") ||
      IsKeyword(m_token, "val"))
    return Fault(RegFault::Unsupported, m_token, "one marker per key, and none on a named value");
  if (!(result = ParseName(node.name)).ok()) return result;
  if (m_token.kind == Kind::Equals) {
    if (!(result = Advance()).ok()) return result;
    node.hasData = true;
    if (!(result = ParseStringValue(node.data)).ok()) return result;
  }
  if (m_token.kind == Kind::Open) {
    if (!(result = Advance()).ok()) return result;
    if (!(result = ParseEntries(node.children, depth + 1, false)).ok()) return result;
    return Advance();  // past the '}'
  }
  return RegResult();
}

RegResult RegParser::ParseStringValue(std::u16string& data) {
  if (m_token.kind != Kind::Word)
    return Fault(RegFault::Syntax, m_token, "value type expected after '='");
  if (!IsKeyword(m_token, "s"))
    return Fault(RegFault::Unsupported, m_token, "only string values ('s') are supported");
  RegResult result = Advance();
  if (!result.ok()) return result;
  if (m_token.kind != Kind::String)
    return Fault(RegFault::Syntax, m_token, "quoted string expected after 's'");
  data = m_token.text;
  return Advance();
}

RegResult RegParser::ParseName(std::u16string& name) {
  if (m_token.kind != Kind::Word && m_token.kind != Kind::String)
    return Fault(RegFault::Syntax, m_token, "key or value name expected");
  if (m_token.text.empty()) return Fault(RegFault::Unsupported, m_token, "empty name");
  if (m_token.text.find(u'\\') != std::u16string::npos)
    return Fault(RegFault::Unsupported, m_token, "a name with '\\' in it");
  name = m_token.text;
  return Advance();
}
