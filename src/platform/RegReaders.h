// The program's two registry readers for fixed machine settings.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Registry.h"

namespace platform {

// True when the value exists and is a REG_DWORD of four bytes; otherwise result = defaultValue.
bool ReadRegDWORD(const std::string& keyPath, const std::string& valueName, uint32_t& result,
                  uint32_t defaultValue, RegRoot root);

// True when the value exists, is a plain REG_SZ (an expandable string does not count) and fits a
// buffer of 256 bytes, terminating NUL included; otherwise result = defaultText.
bool ReadRegString(const std::string& keyPath, const std::string& valueName, std::string& result,
                   const std::string& defaultText, RegRoot root);

}  // namespace platform
