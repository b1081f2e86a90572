// The servers' password hash: the traditional DES-based Unix hash, kept to 12 characters (two
// salt characters and the first ten hash characters) plus a NUL.
#pragma once

#include <cstddef>
#include <random>
#include <string_view>

namespace server {

inline constexpr std::size_t kPasswordHashSize = 13;  // including the NUL

// Hash of the first 8 characters of clear (up to its first NUL) with the first two characters of
// salt (up to its first NUL). An empty salt is replaced by a random one of two characters in
// 'A' .. 'A' + 47. Salt characters are kept as given, even outside the hash alphabet; only their
// low 6 bits (after the traditional mapping) perturb the cipher. A missing second salt character
// repeats the first in the output.
void HashPassword(std::string_view clear, std::string_view salt, char (&out)[kPasswordHashSize]);

// Pseudo-random values for salts, seeded from the current time when made.
class SaltRandom {
public:
    SaltRandom();
    unsigned Below(unsigned bound) { return bound ? static_cast<unsigned>(m_engine() % bound) : 0; }

private:
    std::minstd_rand m_engine;
};

}  // namespace server
