#include "platform/RegReaders.h"

#include <algorithm>

namespace platform {
namespace {

// The buffer the readers hand to the platform: a string must fit with its terminating NUL.
constexpr size_t kStringBuffer = 256;

}  // namespace

bool ReadRegDWORD(const std::string& keyPath, const std::string& valueName, uint32_t& result,
                  uint32_t defaultValue, RegRoot root) {
    RegValue v;
    if (!RegQueryValue(root, keyPath, valueName, v) || v.type != REG_DWORD || v.data.size() != 4) {
        result = defaultValue;
        return false;
    }
    result = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<uint32_t>(v.data[3]) << 24);
    return true;
}

bool ReadRegString(const std::string& keyPath, const std::string& valueName, std::string& result,
                   const std::string& defaultText, RegRoot root) {
    RegValue v;
    if (!RegQueryValue(root, keyPath, valueName, v) || v.type != REG_SZ) {
        result = defaultText;
        return false;
    }
    // Stored data need not end in NUL; it must still fit once terminated, and the text ends at the
    // first NUL, so that nothing is read past what fits.
    bool terminated = !v.data.empty() && v.data.back() == 0;
    if (v.data.size() + (terminated ? 0 : 1) > kStringBuffer) {
        result = defaultText;
        return false;
    }
    auto end = std::find(v.data.begin(), v.data.end(), uint8_t{0});
    result.assign(v.data.begin(), end);
    return true;
}

}  // namespace platform
