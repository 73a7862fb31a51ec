#include "RegReplacements.h"

namespace {

char16_t FoldAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; }

bool EqualNoCase(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

}  // namespace

void RegReplacements::Add(const std::u16string& name, const std::u16string& text) {
  for (auto& entry : m_entries) {
    if (EqualNoCase(entry.first, name)) {
      entry.second = text;
      return;
    }
  }
  m_entries.emplace_back(name, text);
}

const std::u16string* RegReplacements::Find(const std::u16string& name) const {
  for (const auto& entry : m_entries)
    if (EqualNoCase(entry.first, name)) return &entry.second;
  return nullptr;
}

RegResult RegReplacements::Expand(const std::u16string& script, std::u16string& out) const {
  out.clear();
  out.reserve(script.size());
  size_t i = 0;
  while (i < script.size()) {
    const size_t percent = script.find(u'%', i);
    if (percent == std::u16string::npos) {
      out.append(script, i, std::u16string::npos);
      break;
    }
    out.append(script, i, percent - i);
    const size_t end = script.find(u'%', percent + 1);
    if (end == std::u16string::npos)
      return RegResult::Failure(RegFault::Replacement, percent, "'%' without its closing '%'");
    if (end == percent + 1) {
      out += u'%';
    } else {
      const std::u16string* text = Find(script.substr(percent + 1, end - percent - 1));
      if (!text)
        return RegResult::Failure(RegFault::Replacement, percent, "no replacement for this name");
      out += *text;
    }
    i = end + 1;
  }
  return RegResult();
}
