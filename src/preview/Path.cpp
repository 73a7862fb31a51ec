#include "Path.h"

namespace {

bool IsSeparator(OLECHAR c) { return c == OLESTR('\\') || c == OLESTR('/'); }

// At most kMaxPart units of text, never ending inside a surrogate pair.
WString Bounded(const WString& text, size_t start, size_t end) {
  if (end - start > Path::kMaxPart) {
    end = start + Path::kMaxPart;
    const OLECHAR last = text[end - 1];
    if (last >= 0xD800 && last <= 0xDBFF) --end;
  }
  return text.substr(start, end - start);
}

}  // namespace

Path::Path(const OLECHAR* text) {
  if (!text || !*text) return;
  const WString source(text);
  size_t at = 0;
  // A network path keeps both of its leading backslashes; everything else,
  // a single leading backslash included, is folded below.
  if (source.size() >= 2 && source[0] == OLESTR('\\') && source[1] == OLESTR('\\')) {
    m_path.assign(source, 0, 2);
    at = 2;
  }
  m_path.reserve(source.size());
  bool inSeparators = false;
  for (; at < source.size(); ++at) {
    const OLECHAR c = source[at];
    if (IsSeparator(c)) {
      if (!inSeparators) m_path.push_back(OLESTR('\\'));
      inSeparators = true;
    } else {
      m_path.push_back(c);
      inSeparators = false;
    }
  }
  if (!m_path.empty() && m_path.back() == OLESTR('\\')) m_path.pop_back();
  if (m_path.size() == 2 && m_path[1] == OLESTR(':')) m_path.push_back(OLESTR('\\'));
}

Path::~Path() = default;

// Split as the C runtime's path splitter does: a drive is the first two units
// when the second is a colon; the final component follows the last separator
// of either kind, or the drive; its extension starts at its last dot.
size_t Path::NameStart() const {
  const size_t lastSeparator = m_path.find_last_of(OLESTR("\\/"));
  if (lastSeparator != WString::npos) return lastSeparator + 1;
  return m_path.size() >= 2 && m_path[1] == OLESTR(':') ? 2 : 0;
}

size_t Path::ExtensionStart() const {
  const size_t nameStart = NameStart();
  const size_t lastDot = m_path.find_last_of(OLESTR('.'));
  return lastDot != WString::npos && lastDot >= nameStart ? lastDot : m_path.size();
}

WString Path::GetFileName() const { return Bounded(m_path, NameStart(), ExtensionStart()); }

WString Path::GetExtension() const { return Bounded(m_path, ExtensionStart(), m_path.size()); }
