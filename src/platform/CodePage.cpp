#include "platform/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace platform {
namespace {

// Windows-1252 as the platform maps it: its five undefined bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// pass through as the C1 controls of the same value, so any byte survives a round trip. glibc's
// iconv refuses them, which would turn a stored secret into "?" on the way back.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

struct State {
    std::mutex mutex;
    std::string name;
};

State& state() {
    static State s;
    return s;
}

std::string DefaultName() {
    if (const char* cp = std::getenv("QOB_CODEPAGE"); cp && *cp) return cp;
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) return std::strncmp(v, "zh", 2) == 0 ? "CP936" : "WINDOWS-1252";
    }
    return "WINDOWS-1252";
}

bool IsCp1252(const std::string& name) {
    return name == "WINDOWS-1252" || name == "CP1252" || name == "windows-1252" || name == "cp1252";
}

char16_t Cp1252ToUnit(unsigned char b) {
    if (b >= 0x80 && b < 0xA0) return kCp1252High[b - 0x80];
    return b;
}

int UnitToCp1252(char16_t u) {
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return u;
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == u) return 0x80 + i;
    return -1;
}

// Converts with iconv, replacing each unconvertible input unit of `inStep` bytes by `fallback`.
std::string IconvConvert(const char* to, const char* from, const char* in, size_t inLen, size_t inStep,
                         std::string_view fallback) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string();
    std::string out;
    out.resize(inLen * 4 + 16);
    char* src = const_cast<char*>(in);
    size_t srcLeft = inLen;
    char* dst = out.data();
    size_t dstLeft = out.size();
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            size_t used = dst - out.data();
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = out.size() - used;
            continue;
        }
        // EILSEQ or EINVAL: skip one unit and write the fallback.
        size_t skip = srcLeft < inStep ? srcLeft : inStep;
        src += skip;
        srcLeft -= skip;
        if (dstLeft < fallback.size() + 1) {
            size_t used = dst - out.data();
            out.resize(out.size() * 2 + fallback.size());
            dst = out.data() + used;
            dstLeft = out.size() - used;
        }
        std::memcpy(dst, fallback.data(), fallback.size());
        dst += fallback.size();
        dstLeft -= fallback.size();
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(dst - out.data());
    iconv_close(cd);
    return out;
}

}  // namespace

const std::string& CodePageName() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (s.name.empty()) s.name = DefaultName();
    return s.name;
}

void SetCodePage(const std::string& name) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.name = name.empty() ? DefaultName() : name;
}

std::u16string CodePageToUtf16(std::string_view text) {
    const std::string& cp = CodePageName();
    std::u16string out;
    if (IsCp1252(cp)) {
        out.reserve(text.size());
        for (unsigned char b : text) out.push_back(Cp1252ToUnit(b));
        return out;
    }
    static const char kReplacement[2] = {'\xFD', '\xFF'};  // U+FFFD little-endian
    std::string bytes = IconvConvert("UTF-16LE", cp.c_str(), text.data(), text.size(), 1,
                                     std::string_view(kReplacement, 2));
    out.resize(bytes.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return out;
}

std::string Utf16ToCodePage(std::u16string_view text) {
    const std::string& cp = CodePageName();
    std::string out;
    if (IsCp1252(cp)) {
        out.reserve(text.size());
        for (char16_t u : text) {
            int b = UnitToCp1252(u);
            out.push_back(b < 0 ? '?' : static_cast<char>(b));
        }
        return out;
    }
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t u : text) {
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>(u >> 8));
    }
    return IconvConvert(cp.c_str(), "UTF-16LE", bytes.data(), bytes.size(), 2, "?");
}

std::string CodePageToUtf8(std::string_view text) {
    std::u16string units = CodePageToUtf16(text);
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t u : units) {
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>(u >> 8));
    }
    return IconvConvert("UTF-8", "UTF-16LE", bytes.data(), bytes.size(), 2, "\xEF\xBF\xBD");
}

std::string Utf8ToCodePage(std::string_view utf8) {
    std::string bytes = IconvConvert("UTF-16LE", "UTF-8", utf8.data(), utf8.size(), 1, "?\0");
    std::u16string units(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return Utf16ToCodePage(units);
}

}  // namespace platform
