// Reading a script: the tokenizer's rules, the replacements, and the faults
// the parser reports (and where).
#include <gtest/gtest.h>

#include <vector>

#include "RegParser.h"
#include "RegReplacements.h"
#include "RegTokenizer.h"
#include "Scripts.h"

namespace {

using Kind = RegToken::Kind;

std::vector<RegToken> Tokens(const std::u16string& text) {
  RegTokenizer tokenizer(text);
  std::vector<RegToken> tokens;
  RegToken token;
  while (tokenizer.Next(token) && token.kind != Kind::End) tokens.push_back(token);
  return tokens;
}

TEST(RegTokenizerTest, BraceOpensABlockOnlyBeforeWhiteSpace) {
  const auto tokens = Tokens(u"ForceRemove {0DBA1310-FA65} = s 'x'\n{\n}{a} }");
  ASSERT_EQ(9u, tokens.size());
  EXPECT_EQ(Kind::Word, tokens[1].kind);
  EXPECT_EQ(u"{0DBA1310-FA65}", tokens[1].text);
  EXPECT_EQ(Kind::Equals, tokens[2].kind);
  EXPECT_EQ(Kind::String, tokens[4].kind);
  EXPECT_EQ(Kind::Open, tokens[5].kind);
  EXPECT_EQ(Kind::Close, tokens[6].kind);  // '}' stands alone even before a word
  EXPECT_EQ(Kind::Word, tokens[7].kind);
  EXPECT_EQ(u"{a}", tokens[7].text);
  EXPECT_EQ(Kind::Close, tokens[8].kind);
  EXPECT_EQ(Kind::Close, Tokens(u"a }")[1].kind);
  EXPECT_EQ(Kind::Open, Tokens(u"a {")[1].kind);  // at the very end too
}

TEST(RegTokenizerTest, TwoQuotesInAStringAreOneQuote) {
  const auto tokens = Tokens(u"'C:\\it''s\\x.dll''' ''");
  ASSERT_EQ(2u, tokens.size());
  EXPECT_EQ(u"C:\\it's\\x.dll'", tokens[0].text);
  EXPECT_EQ(Kind::String, tokens[1].kind);
  EXPECT_EQ(u"", tokens[1].text);
}

TEST(RegTokenizerTest, UnterminatedStringNamesItsOpeningQuote) {
  RegTokenizer tokenizer(u"key = s 'open''");
  RegToken token;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(tokenizer.Next(token));
  EXPECT_FALSE(tokenizer.Next(token));
  EXPECT_EQ(8u, tokenizer.faultOffset());
}

TEST(RegReplacementsTest, NamesMatchWithoutRegardToCase) {
  RegReplacements replacements;
  replacements.Add(u"Module", u"C:\\a''b.dll");
  replacements.Add(u"APPID", u"");
  std::u16string out;
  ASSERT_TRUE(replacements.Expand(u"'%MODULE%' '%module_%' %appid%; 100%%", out).ok() == false);
  replacements.Add(u"Module_Raw", u"raw");
  ASSERT_TRUE(replacements.Expand(u"'%MODULE%' '%module_raw%' [%appid%] 100%%", out).ok());
  EXPECT_EQ(u"'C:\\a''b.dll' 'raw' [] 100%", out);
  replacements.Add(u"MODULE", u"new");  // replaces, whatever the case
  ASSERT_TRUE(replacements.Expand(u"%Module%", out).ok());
  EXPECT_EQ(u"new", out);
}

TEST(RegReplacementsTest, UnknownNameOrLonePercentIsAFaultAtItsPercent) {
  RegReplacements replacements;
  replacements.Add(u"Module", u"m");
  std::u16string out;
  RegResult result = replacements.Expand(u"ab %Module% %Nope% x", out);
  EXPECT_EQ(RegFault::Replacement, result.fault);
  EXPECT_EQ(12u, result.offset);
  result = replacements.Expand(u"ab %% 50% off", out);
  EXPECT_EQ(RegFault::Replacement, result.fault);
  EXPECT_EQ(8u, result.offset);
}

TEST(RegParserTest, ReadsTheFormatScriptAsATree) {
  std::vector<RegNode> keys;
  ASSERT_TRUE(RegParser(kTvdFormatScript).Parse(keys).ok());
  ASSERT_EQ(3u, keys.size());
  EXPECT_EQ(u"Vellisto.TvdFormat.1", keys[0].name);
  EXPECT_EQ(u"TvdFormat Class", keys[0].data);
  const RegNode& clsid = keys[2];
  EXPECT_EQ(RegNode::Flag::NoRemove, clsid.flag);
  ASSERT_EQ(1u, clsid.children.size());
  const RegNode& own = clsid.children[0];
  EXPECT_EQ(RegNode::Flag::ForceRemove, own.flag);
  EXPECT_EQ(u"{0DBA1310-FA65-417E-8FE7-6EC23235CBB4}", own.name);
  ASSERT_EQ(4u, own.children.size());
  const RegNode& server = own.children[2];
  EXPECT_EQ(u"%MODULE%", server.data);  // the parser sees text after replacement only
  ASSERT_EQ(1u, server.children.size());
  EXPECT_TRUE(server.children[0].isValue);
  EXPECT_EQ(u"ThreadingModel", server.children[0].name);
  EXPECT_EQ(u"Both", server.children[0].data);
  EXPECT_EQ(u"TypeLib", own.children[3].name);  // a quoted name
}

TEST(RegParserTest, KeywordsOnlyAsBareWordsAndInAnyCase) {
  std::vector<RegNode> keys;
  ASSERT_TRUE(RegParser(u"hkey_classes_root { noremove 'NoRemove' { VAL 'val' = S 'x' } }")
                  .Parse(keys)
                  .ok());
  ASSERT_EQ(1u, keys.size());
  EXPECT_EQ(RegNode::Flag::NoRemove, keys[0].flag);
  EXPECT_EQ(u"NoRemove", keys[0].name);
  ASSERT_EQ(1u, keys[0].children.size());
  EXPECT_TRUE(keys[0].children[0].isValue);
  EXPECT_EQ(u"val", keys[0].children[0].name);
}

TEST(RegParserTest, FaultsNameTheirKindAndPlace) {
  struct Case {
    const char16_t* script;
    RegFault fault;
    size_t offset;
  };
  const Case cases[] = {
      {u"HKLM { a }", RegFault::Unsupported, 0},
      {u"HKCR a", RegFault::Syntax, 5},
      {u"HKCR { a = d '1' }", RegFault::Unsupported, 11},
      {u"HKCR { a = s x }", RegFault::Syntax, 13},
      {u"HKCR { a = s }", RegFault::Syntax, 13},
      {u"HKCR { a = }", RegFault::Syntax, 11},
      {u"HKCR { Delete a }", RegFault::Unsupported, 7},
      {u"HKCR { NoRemove ForceRemove a }", RegFault::Unsupported, 16},
      {u"HKCR { ForceRemove val a = s 'x' }", RegFault::Unsupported, 19},
      {u"HKCR { val a = s 'x' }", RegFault::Unsupported, 7},
      {u"HKCR { a { val b s 'x' } }", RegFault::Syntax, 17},
      {u"HKCR { a { b }", RegFault::Syntax, 14},
      {u"HKCR { a } }", RegFault::Syntax, 11},
      {u"HKCR { '' }", RegFault::Unsupported, 7},
      {u"HKCR { a\\b }", RegFault::Unsupported, 7},
      {u"HKCR { = }", RegFault::Syntax, 7},
      {u"HKCR { a = s 'open }", RegFault::Syntax, 13},
  };
  for (const Case& c : cases) {
    std::vector<RegNode> keys;
    const RegResult result = RegParser(c.script).Parse(keys);
    EXPECT_EQ(c.fault, result.fault)
        << std::string(c.script, c.script + std::char_traits<char16_t>::length(c.script));
    EXPECT_EQ(c.offset, result.offset) << result.message;
    EXPECT_FALSE(result.message.empty());
  }
}

TEST(RegParserTest, DeepNestingIsRefusedNotFollowed) {
  std::u16string deep = u"HKCR {";
  for (int i = 0; i < 100000; ++i) deep += u" a {";
  std::vector<RegNode> keys;
  EXPECT_EQ(RegFault::Unsupported, RegParser(deep).Parse(keys).fault);
  std::u16string ok = u"HKCR {";
  for (int i = 1; i < RegParser::kMaxDepth; ++i) ok += u" a {";
  for (int i = 1; i < RegParser::kMaxDepth; ++i) ok += u" }";
  ok += u" }";
  EXPECT_TRUE(RegParser(ok).Parse(keys).ok());
}

}  // namespace
