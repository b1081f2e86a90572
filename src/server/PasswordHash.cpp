#include "server/PasswordHash.h"

#include <chrono>
#include <cstdint>
#include <utility>

#include "server/Des.h"

namespace server {
namespace {

constexpr int kIterations = 25;
constexpr std::size_t kHashChars = 10;

// Salt character to its 6-bit value. Characters outside the alphabet are mapped by the same
// arithmetic (as signed chars) and masked, so any byte gives a usable value.
unsigned SaltValue(char ch) {
    int c = static_cast<signed char>(ch);
    if (c > 'Z') c -= 6;
    if (c > '9') c -= 7;
    c -= '.';
    return static_cast<unsigned>(c) & 0x3F;
}

char HashChar(unsigned v) {
    int c = static_cast<int>(v) + '.';
    if (c > '9') c += 7;
    if (c > 'Z') c += 6;
    return static_cast<char>(c);
}

}  // namespace

SaltRandom::SaltRandom()
    : m_engine(static_cast<std::minstd_rand::result_type>(
          std::chrono::system_clock::now().time_since_epoch().count())) {}

void HashPassword(std::string_view clear, std::string_view salt, char (&out)[kPasswordHashSize]) {
    char s0 = salt.empty() ? '\0' : salt[0];
    char s1 = (s0 == '\0' || salt.size() < 2) ? '\0' : salt[1];
    if (s0 == '\0') {
        SaltRandom rng;
        s0 = static_cast<char>('A' + rng.Below(48));
        s1 = static_cast<char>('A' + rng.Below(48));
    }

    // Seven low bits of each character, most significant first; the DES parity bit stays 0.
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < 8 && i < clear.size() && clear[i] != '\0'; ++i)
        key |= static_cast<std::uint64_t>((static_cast<unsigned char>(clear[i]) & 0x7F) << 1) << (56 - 8 * i);

    des::ExpansionTable e = des::kExpansion;
    const char saltChars[2] = {s0, s1};
    for (int i = 0; i < 2; ++i) {
        const unsigned v = SaltValue(saltChars[i]);
        for (int j = 0; j < 6; ++j)
            if ((v >> j) & 1) std::swap(e[6 * i + j], e[6 * i + j + 24]);
    }

    const std::uint64_t r = des::Encrypt(0, des::MakeKeySchedule(key), e, kIterations);

    out[0] = s0;
    out[1] = s1 != '\0' ? s1 : s0;
    for (std::size_t k = 0; k < kHashChars; ++k) out[2 + k] = HashChar((r >> (58 - 6 * k)) & 0x3F);
    out[kPasswordHashSize - 1] = '\0';
}

}  // namespace server
