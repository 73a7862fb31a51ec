#include "SystemError.h"

#include <cstring>

std::string SystemErrorText(uint32_t error) { return std::strerror(static_cast<int>(error)); }
