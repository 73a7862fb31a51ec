// Any UTF-16 text (up to its first zero unit) as a path: the normalised
// form, the file name and the extension keep the promises of Path.h.
#include "Path.h"

#include <cstdlib>

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool OnlyBackslashes(const WString& text) {
  return text.find_first_not_of(OLECHAR('\\')) == WString::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WString text;
  for (size_t i = 0; i + 1 < size; i += 2) {
    const OLECHAR c = static_cast<OLECHAR>(data[i] | data[i + 1] << 8);
    if (c == 0) break;
    text += c;
  }
  const Path path(text.c_str());
  const WString& p = path.GetPath();
  // Only separators and nothing else fold away, unless a network path's
  // two backslashes start them.
  const bool onlySeparators = text.find_first_not_of(OLESTR("\\/")) == WString::npos;
  const bool network = text.compare(0, 2, OLESTR("\\\\")) == 0;
  Check(p.empty() == (onlySeparators && !network));
  // One backslash for every run of separators, past a network path's two.
  Check(p.find(OLECHAR('/')) == WString::npos);
  Check(p.size() < 3 || p.find(OLESTR("\\\\"), 2) == WString::npos);
  // A trailing backslash only as a drive's root, or as all there is.
  if (!p.empty() && p.back() == '\\')
    Check((p.size() == 3 && p[1] == ':') || (OnlyBackslashes(p) && p.size() <= 2));

  const WString name = path.GetFileName();
  const WString extension = path.GetExtension();
  Check(name.size() <= Path::kMaxPart && extension.size() <= Path::kMaxPart);
  Check(name.find_first_of(OLESTR("\\/")) == WString::npos);
  Check(extension.find_first_of(OLESTR("\\/")) == WString::npos);
  Check(extension.empty() || (extension[0] == '.' && extension.find('.', 1) == WString::npos));
  // Uncut, the two are the end of the path.
  if (name.size() < Path::kMaxPart - 1 && extension.size() < Path::kMaxPart - 1) {
    const WString tail = name + extension;
    Check(p.size() >= tail.size() && p.compare(p.size() - tail.size(), tail.size(), tail) == 0);
  }
  // What does not start with a backslash is normalised for good.
  if (!p.empty() && p[0] != '\\') Check(Path(p.c_str()).GetPath() == p);
  return 0;
}
