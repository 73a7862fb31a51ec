// Splits a registration script into tokens: words, quoted strings ('' inside
// one stands for a quote), '{' opening a block, '}' closing one, and '='.
// A '{' opens a block only when white space (or the end) follows it, so a
// class identifier such as {0DBA1310-...} stays one word. A word runs to
// the next white space.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

struct RegToken {
  enum class Kind { End, Word, String, Open, Close, Equals };
  Kind kind = Kind::End;
  std::u16string text;  // the word, or the string without its quotes
  size_t offset = 0;    // where the token starts in the text
};

class RegTokenizer {
 public:
  explicit RegTokenizer(std::u16string text) : m_text(std::move(text)) {}

  // The next token (Kind::End at the end); false at a string without its
  // closing quote, whose opening quote faultOffset() then names.
  bool Next(RegToken& token);
  size_t faultOffset() const { return m_faultOffset; }

  static bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
  }

 private:
  const std::u16string m_text;
  size_t m_position = 0;
  size_t m_faultOffset = 0;
};
