// The system's own words for an error code, for messages: strerror() of an
// errno value natively; on Windows FormatMessageW's text for a
// GetLastError() code with the number after it ("Access is denied, Windows
// error 5"), or "Windows error N" alone where the system has no text.
#pragma once

#include <cstdint>
#include <string>

std::string SystemErrorText(uint32_t error);
