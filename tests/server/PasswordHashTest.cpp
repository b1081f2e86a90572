#include <gtest/gtest.h>

#include <crypt.h>

#include <cstring>
#include <random>
#include <string>

#include "server/Des.h"
#include "server/PasswordHash.h"
#include "server/ServProv.h"

using namespace server;

namespace {

const char kAlphabet[] = "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

std::string Ours(const std::string& clear, const std::string& salt) {
    char out[kPasswordHashSize];
    HashPassword(clear, salt, out);
    return out;
}

// The system's traditional crypt(), cut to the 12 characters this hash keeps.
std::string System(const std::string& clear, const std::string& salt) {
    crypt_data data{};
    const char* r = crypt_r(clear.c_str(), salt.c_str(), &data);
    if (!r || std::strlen(r) != 13) return "crypt failed";
    return std::string(r, 12);
}

bool InAlphabet(char c) { return c && std::strchr(kAlphabet, c); }

}  // namespace

TEST(Des, KnownAnswer) {
    // The worked example used throughout the DES literature.
    const auto ks = des::MakeKeySchedule(0x133457799BBCDFF1ull);
    EXPECT_EQ(des::Encrypt(0x0123456789ABCDEFull, ks), 0x85E813540F0AB405ull);
    // Parity bits do not matter.
    EXPECT_EQ(des::Encrypt(0x0123456789ABCDEFull, des::MakeKeySchedule(0x123456789ABCDEF0ull)),
              des::Encrypt(0x0123456789ABCDEFull, des::MakeKeySchedule(0x133557799BBDDFF1ull)));
}

TEST(HashPassword, AgreesWithSystemCrypt) {
    std::mt19937 rng(12345);
    for (int n = 0; n < 1500; ++n) {
        std::string clear(rng() % 12, ' ');
        for (char& c : clear) c = static_cast<char>(1 + rng() % 255);  // 8th-bit characters too
        const std::string salt = {kAlphabet[rng() % 64], kAlphabet[rng() % 64]};
        ASSERT_EQ(Ours(clear, salt), System(clear, salt)) << "salt " << salt << " length " << clear.size();
    }
    EXPECT_EQ(Ours("", ".."), System("", ".."));
    EXPECT_EQ(Ours("password", "ab"), "abJnggxhB/yW");
}

TEST(HashPassword, KeyRules) {
    EXPECT_EQ(Ours("abcdefghXYZ", "Qz"), Ours("abcdefgh", "Qz"));
    EXPECT_EQ(Ours("p\xE1ss", "Qz"), Ours("p\x61ss", "Qz"));
    EXPECT_NE(Ours("abcdefg", "Qz"), Ours("abcdefh", "Qz"));
}

TEST(HashPassword, SaltOutsideAlphabetIsKeptAndHarmless) {
    for (int c = 1; c < 256; ++c) {
        const std::string salt = {static_cast<char>(c), 'x'};
        const std::string h = Ours("secret", salt);
        ASSERT_EQ(h.size(), 12u);
        EXPECT_EQ(h.substr(0, 2), salt);
        EXPECT_EQ(h, Ours("secret", salt));  // deterministic
        for (char k : h.substr(2)) ASSERT_TRUE(InAlphabet(k));
    }
    // 0xAE, as a signed char, maps to -128, whose low six bits are those of '.' (0).
    EXPECT_EQ(Ours("secret", "\xAE" "x").substr(2), Ours("secret", ".x").substr(2));
}

TEST(HashPassword, MissingSecondSaltCharRepeatsFirst) {
    const std::string h = Ours("secret", "Q");
    EXPECT_EQ(h.substr(0, 2), "QQ");
    EXPECT_EQ(h, Ours("secret", std::string("Q\0z", 3)));
}

TEST(HashPassword, EmptySaltIsRandomFromAToP) {
    for (int i = 0; i < 50; ++i) {
        const std::string h = Ours("secret", "");
        ASSERT_EQ(h.size(), 12u);
        EXPECT_GE(h[0], 'A'); EXPECT_LT(h[0], 'A' + 48);
        EXPECT_GE(h[1], 'A'); EXPECT_LT(h[1], 'A' + 48);
        EXPECT_EQ(h, Ours("secret", h.substr(0, 2)));
    }
}

TEST(PasswordCopy, SaltFromLengthAndRandomLetterAndRoundTrip) {
    const struct { const char* clear; char first; } cases[] = {
        {"", 'A'}, {"123", 'D'}, {"12345678901", 'L'}, {"x", 'B'}};
    for (const auto& c : cases) {
        for (int i = 0; i < 20; ++i) {
            char h[13];
            std::memset(h, 0x7F, sizeof h);
            CZentServ::PasswordCopy(h, c.clear);
            ASSERT_EQ(h[12], 0);
            EXPECT_EQ(std::strlen(h), 12u);
            EXPECT_EQ(h[0], c.first);
            EXPECT_TRUE(h[1] >= 'A' && h[1] <= 'Z') << h;
            EXPECT_EQ(CZentServ::PasswordCompare(h, c.clear), 0) << h;
            EXPECT_NE(CZentServ::PasswordCompare(h, "other"), 0);
        }
    }
}

TEST(PasswordCopy, VeryLongPasswordStillVerifies) {
    // Length 191 makes the length-derived salt character 'A' + 191 = NUL: the salt then counts as
    // empty and a random one is used, so the result still verifies.
    const std::string clear(191, 'k');
    char h[13];
    CZentServ::PasswordCopy(h, clear.c_str());
    EXPECT_EQ(std::strlen(h), 12u);
    EXPECT_EQ(CZentServ::PasswordCompare(h, clear.c_str()), 0);
    CZentServ::PasswordCopy(h, std::string(70, 'k').c_str());
    EXPECT_EQ(static_cast<unsigned char>(h[0]), 'A' + 70);
    EXPECT_EQ(CZentServ::PasswordCompare(h, std::string(70, 'k').c_str()), 0);
}

TEST(PasswordCompare, MismatchCases) {
    const std::string stored = System("admin", "Xy");
    EXPECT_EQ(CZentServ::PasswordCompare(stored.c_str(), "admin"), 0);
    EXPECT_NE(CZentServ::PasswordCompare(stored.c_str(), "Admin"), 0);
    EXPECT_NE(CZentServ::PasswordCompare((stored + "z").c_str(), "admin"), 0);
    EXPECT_NE(CZentServ::PasswordCompare(stored.substr(0, 11).c_str(), "admin"), 0);
    EXPECT_NE(CZentServ::PasswordCompare("", ""), 0);
    EXPECT_NE(CZentServ::PasswordCompare("X", "admin"), 0);
    EXPECT_NE(CZentServ::PasswordCompare(nullptr, nullptr), 0);
    EXPECT_EQ(CZentServ::PasswordCompare(System("", "..").c_str(), nullptr), 0);
}
