// A failure that ends the tool: the message for stderr (without the "tvd: "
// prefix) and the exit code, 1 for a problem with a file, 2 for a usage error,
// 3 for a file that reads well but holds nothing that was asked for.
#pragma once

#include <stdexcept>
#include <string>

class ToolError : public std::runtime_error {
 public:
  enum : int { kFileProblem = 1, kUsage = 2, kNotFound = 3 };

  ToolError(int exitCode, const std::string& message)
      : std::runtime_error(message), m_exitCode(exitCode) {}

  int exitCode() const { return m_exitCode; }

 private:
  int m_exitCode;
};
