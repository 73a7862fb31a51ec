// A file path normalised once, split into its file name and extension.
#pragma once

#include "Automation.h"

class Path {
 public:
  // Longest file name or extension handed out, in UTF-16 units.
  static constexpr size_t kMaxPart = 255;

  // A null text counts as empty.
  explicit Path(const OLECHAR* text);
  virtual ~Path();

  // The normalised path: every run of separators (either slash) is one
  // backslash, a trailing backslash is dropped, a bare drive keeps its root
  // ("C:\"), and a leading pair of backslashes (a network path) is kept.
  const WString& GetPath() const { return m_path; }
  // The final component without its extension ("part" of C:\vault\part.tvd).
  // Cut to its first kMaxPart units when longer.
  WString GetFileName() const;
  // The extension of the final component with its dot (".tvd"), or empty.
  // Cut to its first kMaxPart units when longer.
  WString GetExtension() const;

 private:
  // Where the final component starts and where its extension starts (its
  // end when there is none).
  size_t NameStart() const;
  size_t ExtensionStart() const;

  WString m_path;  // owned; fixed at construction
};
