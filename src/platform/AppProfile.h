// The application's profile in the current user's hive of the registry stand-in: the settings the
// program keeps for the user rather than in the configuration file, which the sites share.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The application's own key under HKEY_CURRENT_USER.
extern const char* const kAppProfileKey;

// The value, or `defaultValue` when it is missing or not a REG_DWORD.
uint32_t GetProfileInt(const std::string& entry, uint32_t defaultValue);
// False (RegLastError says why) when the user's hive cannot be written.
bool WriteProfileInt(const std::string& entry, uint32_t value);

// A text value (REG_SZ, any length), or `defaultValue`.
std::string GetProfileString(const std::string& entry, const std::string& defaultValue = {});
bool WriteProfileString(const std::string& entry, const std::string& value);

}  // namespace platform
