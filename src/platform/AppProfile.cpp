#include "platform/AppProfile.h"

#include "platform/RegReaders.h"
#include "platform/Registry.h"

namespace platform {

const char* const kAppProfileKey = "Software\\Local AppWizard-Generated Applications\\QOB";

uint32_t GetProfileInt(const std::string& entry, uint32_t defaultValue) {
    uint32_t value = defaultValue;
    ReadRegDWORD(kAppProfileKey, entry, value, defaultValue, RegRoot::CurrentUser);
    return value;
}

bool WriteProfileInt(const std::string& entry, uint32_t value) {
    return RegSetValue(RegRoot::CurrentUser, kAppProfileKey, entry, RegValue::Dword(value));
}

std::string GetProfileString(const std::string& entry, const std::string& defaultValue) {
    RegValue value;
    if (!RegQueryValue(RegRoot::CurrentUser, kAppProfileKey, entry, value) || value.type != REG_SZ) return defaultValue;
    std::string text(value.data.begin(), value.data.end());
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

bool WriteProfileString(const std::string& entry, const std::string& value) {
    return RegSetValue(RegRoot::CurrentUser, kAppProfileKey, entry, RegValue::String(value));
}

}  // namespace platform
