// Wildcards in file names on Windows, where the shell hands them over as
// typed: a name holding '*' or '?' stands for the files that match it, as
// Windows tools take it. Elsewhere the shell has expanded them already.
#pragma once

#include <string>
#include <vector>

class Wildcards {
 public:
  // Each argument with a wildcard in its last part replaced by the names
  // that match it in its folder, in order of their names, each with the
  // folder as typed before it; one that matches nothing stays as it is, so
  // that the error names it. Other arguments stay as they are.
  static std::vector<std::string> Expand(const std::vector<std::string>& args);
};
