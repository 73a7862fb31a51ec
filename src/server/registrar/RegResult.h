// What running a registration script came to: success, or the first fault
// with where it was found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class RegFault {
  None,
  Syntax,       // the script does not follow the language
  Replacement,  // a %name% without a replacement, or a lone '%'
  Unsupported,  // valid in the language, but nothing our scripts need
  Registry,     // the registry refused a write (systemError says why)
};

struct RegResult {
  RegFault fault = RegFault::None;
  size_t offset = 0;         // in the script text; after replacement for Syntax and Unsupported
  uint32_t systemError = 0;  // for Registry: the store's error code
  std::string message;

  bool ok() const { return fault == RegFault::None; }

  static RegResult Failure(RegFault fault, size_t offset, std::string message) {
    RegResult result;
    result.fault = fault;
    result.offset = offset;
    result.message = std::move(message);
    return result;
  }
};
