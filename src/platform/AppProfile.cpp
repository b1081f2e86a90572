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

}  // namespace platform
