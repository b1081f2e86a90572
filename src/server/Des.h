// The Data Encryption Standard (FIPS 46) block cipher, encryption only, with a replaceable
// expansion table: the traditional Unix password hash perturbs E with its salt.
#pragma once

#include <array>
#include <cstdint>

namespace server::des {

// Bit positions count from 1 at the most significant bit, as the standard numbers them.
using ExpansionTable = std::array<std::uint8_t, 48>;
extern const ExpansionTable kExpansion;  // the standard E

// The 16 round keys, 48 bits each, of a 64-bit key (its parity bits, the low bit of every byte,
// are ignored).
using KeySchedule = std::array<std::uint64_t, 16>;
KeySchedule MakeKeySchedule(std::uint64_t key);

// Encrypts block `times` times in a row with the given expansion table.
std::uint64_t Encrypt(std::uint64_t block, const KeySchedule& keys,
                      const ExpansionTable& expansion = kExpansion, int times = 1);

}  // namespace server::des
