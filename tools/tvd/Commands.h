// The tool's subcommands. Each returns the exit code or throws a ToolError;
// file names are the user's own spelling (UTF-8), kept for messages.
#pragma once

#include <string>
#include <vector>

class Commands {
 public:
  static int Dump(const std::string& file, bool asJson);
  static int Import(const std::string& jsonFile, const std::string& outFile);
  static int Get(const std::string& file, const std::string& block, const std::string& pattern);
  static int Set(const std::string& file, const std::string& block, const std::string& pattern,
                 const std::string& value, const std::string& type);
  // outFile "" converts in place.
  static int Convert(const std::string& file, const std::string& outFile);
  static int New(const std::string& file, bool replace);
  // check of a document on standard input ("-"), one line as for a file.
  static int CheckStandardInput();
};
