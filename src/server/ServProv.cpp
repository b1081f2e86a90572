#include "server/ServProv.h"

#include <cstring>
#include <exception>
#include <string_view>

#include "platform/Trace.h"
#include "server/PasswordHash.h"

namespace server {

int CZentServ::PasswordCompare(const char* stored, const char* clear) {
    try {
        const std::string_view h = stored ? stored : "";
        char hash[kPasswordHashSize];
        HashPassword(clear ? clear : "", h.substr(0, 2), hash);
        return h == hash ? 0 : 1;
    } catch (...) {
        platform::Trace("Exception in CZentServ::PasswordCompare()\n");
        return 1;
    }
}

void CZentServ::PasswordCopy(char dest[13], const char* clear) {
    if (!dest) return;
    try {
        const std::string_view k = clear ? clear : "";
        SaltRandom rng;
        const char salt[2] = {static_cast<char>(static_cast<unsigned char>('A' + k.size())),
                              static_cast<char>('A' + rng.Below(26))};
        char hash[kPasswordHashSize];
        HashPassword(k, std::string_view(salt, 2), hash);
        std::memcpy(dest, hash, kPasswordHashSize);
    } catch (...) {
        platform::Trace("Exception in CZentServ::PasswordCopy()\n");
        dest[0] = '\0';
    }
}

}  // namespace server
