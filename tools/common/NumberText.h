// Numbers as both programs print them: the shortest decimal that reads back
// as the same double, whatever the user's locale.
#pragma once

#include <string>

class NumberText {
 public:
  // "7.2", "-0", "0.1", "1e+300", "5e-324"; "NaN", "Infinity" and
  // "-Infinity" for the rest.
  static std::string Shortest(double value);
};
