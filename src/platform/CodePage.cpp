#include "platform/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/Unicode.h"

namespace platform {
namespace {

// Windows-1252 as the platform maps it: its five undefined bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// pass through as the C1 controls of the same value, so any byte survives a round trip. glibc's
// iconv refuses them, which would turn a stored secret into "?" on the way back.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Every name once in force stays here, so the reference CodePageName hands out stays valid
// (and unchanged) while another thread switches the code page.
struct State {
    std::mutex mutex;
    std::set<std::string> names;
    const std::string* current = nullptr;
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
// With `exact`, the first unconvertible unit fails the conversion instead (empty result, false).
bool IconvConvert(const char* to, const char* from, const char* in, size_t inLen, size_t inStep,
                  std::string_view fallback, std::string& out, bool exact = false) {
    out.clear();
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.resize(inLen * 4 + 16);
    char* src = const_cast<char*>(in);
    size_t srcLeft = inLen;
    char* dst = out.data();
    size_t dstLeft = out.size();
    bool ok = true;
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            size_t used = dst - out.data();
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = out.size() - used;
            continue;
        }
        if (exact) {
            ok = false;
            break;
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
    out.resize(ok ? static_cast<size_t>(dst - out.data()) : 0);
    iconv_close(cd);
    return ok;
}

std::string UnitsToLittleEndian(std::u16string_view units) {
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t u : units) {
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>(u >> 8));
    }
    return bytes;
}

std::u16string LittleEndianToUnits(std::string_view bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return units;
}

// The code page's bytes for the units, nothing substituted; false when any unit has none.
bool UnitsToCodePageExact(std::u16string_view units, std::string& out) {
    const std::string& cp = CodePageName();
    if (IsCp1252(cp)) {
        out.clear();
        out.reserve(units.size());
        for (char16_t u : units) {
            const int b = UnitToCp1252(u);
            if (b < 0) return false;
            out.push_back(static_cast<char>(b));
        }
        return true;
    }
    const std::string bytes = UnitsToLittleEndian(units);
    return IconvConvert(cp.c_str(), "UTF-16LE", bytes.data(), bytes.size(), 2, {}, out, true);
}

}  // namespace

const std::string& CodePageName() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (!s.current) s.current = &*s.names.insert(DefaultName()).first;
    return *s.current;
}

void SetCodePage(const std::string& name) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.current = &*s.names.insert(name.empty() ? DefaultName() : name).first;
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
    std::string bytes;
    IconvConvert("UTF-16LE", cp.c_str(), text.data(), text.size(), 1, std::string_view(kReplacement, 2), bytes);
    return LittleEndianToUnits(bytes);
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
    const std::string bytes = UnitsToLittleEndian(text);
    IconvConvert(cp.c_str(), "UTF-16LE", bytes.data(), bytes.size(), 2, "?", out);
    return out;
}

std::string CodePageToUtf8(std::string_view text) { return Utf16ToUtf8Lenient(CodePageToUtf16(text)); }

std::string Utf8ToCodePage(std::string_view utf8) { return Utf16ToCodePage(Utf8ToUtf16Lenient(utf8)); }

std::string TextProblem::Describe() const {
    char text[96];
    switch (kind) {
        case InvalidUtf8:
            std::snprintf(text, sizeof text, "is not valid UTF-8 (at byte %zu)", offset);
            return text;
        case Unrepresentable:
            std::snprintf(text, sizeof text, "has a character (U+%04X) that the code page ",
                          static_cast<unsigned>(character));
            return std::string(text) + CodePageName() + " cannot hold";
        case UndefinedBytes:
            return "has bytes that the code page " + CodePageName() + " does not define (at byte " +
                   std::to_string(offset) + ")";
        case None: break;
    }
    return std::string();
}

bool Utf8ToCodePageExact(std::string_view utf8, std::string& out, TextProblem* problem) {
    out.clear();
    out.reserve(utf8.size());
    std::u16string units;
    std::string one;
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        size_t length = 1;
        if (!DecodeUtf8(utf8, i, cp, length)) {
            if (problem) *problem = TextProblem{TextProblem::InvalidUtf8, i, 0};
            return false;
        }
        i += length;
        // Every system code page holds ASCII as it is.
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        // Character by character, so that a refusal names the character (none of the code pages
        // has shift states, which would need the whole text).
        units.clear();
        AppendUtf16(units, cp);
        if (!UnitsToCodePageExact(units, one) || CodePageToUtf16(one) != units) {
            if (problem) *problem = TextProblem{TextProblem::Unrepresentable, i - length, cp};
            out.clear();
            return false;
        }
        out += one;
    }
    return true;
}

bool CodePageToUtf8Exact(std::string_view text, std::string& out, TextProblem* problem) {
    out.clear();
    const std::u16string units = CodePageToUtf16(text);
    std::string back;
    // A byte the code page does not define came in as U+FFFD and cannot go back.
    if (!UnitsToCodePageExact(units, back) || back != text || !Utf16ToUtf8(units, out)) {
        if (problem) {
            // Where the lenient way back, with "?" for each undefined byte, first differs.
            const std::string shown = Utf16ToCodePage(units);
            size_t at = 0;
            while (at < text.size() && at < shown.size() && text[at] == shown[at]) ++at;
            *problem = TextProblem{TextProblem::UndefinedBytes, at, 0};
        }
        out.clear();
        return false;
    }
    return true;
}

}  // namespace platform
