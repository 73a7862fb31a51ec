#include "RegTokenizer.h"

bool RegTokenizer::Next(RegToken& token) {
  while (m_position < m_text.size() && IsSpace(m_text[m_position])) ++m_position;
  token.text.clear();
  token.offset = m_position;
  if (m_position == m_text.size()) {
    token.kind = RegToken::Kind::End;
    return true;
  }
  const char16_t c = m_text[m_position];
  if (c == u'}' || c == u'=') {
    token.kind = c == u'}' ? RegToken::Kind::Close : RegToken::Kind::Equals;
    ++m_position;
    return true;
  }
  if (c == u'{' && (m_position + 1 == m_text.size() || IsSpace(m_text[m_position + 1]))) {
    token.kind = RegToken::Kind::Open;
    ++m_position;
    return true;
  }
  if (c == u'\'') {
    token.kind = RegToken::Kind::String;
    size_t i = m_position + 1;
    for (;;) {
      if (i == m_text.size()) {
        m_faultOffset = m_position;
        return false;
      }
      if (m_text[i] == u'\'') {
        if (i + 1 < m_text.size() && m_text[i + 1] == u'\'') {
          token.text += u'\'';
          i += 2;
          continue;
        }
        m_position = i + 1;
        return true;
      }
      token.text += m_text[i++];
    }
  }
  token.kind = RegToken::Kind::Word;
  const size_t start = m_position;
  while (m_position < m_text.size() && !IsSpace(m_text[m_position])) ++m_position;
  token.text.assign(m_text, start, m_position - start);
  return true;
}
