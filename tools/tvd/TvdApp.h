// The command line of the tool: subcommands, options and help, parsed with
// CLI11; errors end as "tvd: <message>" on stderr with exit code 1 or 2.
#pragma once

#include <string>
#include <vector>

class TvdApp {
 public:
  // args[0] is the program; the rest UTF-8.
  static int Run(const std::vector<std::string>& args);
};
