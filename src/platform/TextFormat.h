// printf-style formatting of texts that come from a table rather than the source (the string
// resources and their translations), so the compiler cannot check them against the arguments.
// Each argument carries its type: a conversion that does not match it prints the value sensibly
// (a number for %s prints its digits, a text for %d prints the text), a missing argument leaves the
// conversion as written, and %n is never honoured. Translations may reorder with %2$s.
//
// Supported: flags "-+ #0", width, precision, length letters (ignored: the argument's own type
// counts), conversions d i u o x X c s f F e E g G a A and %%. Texts end at their first NUL, as
// C strings would. Integers print at their own width: a negative 32-bit value with %x prints eight
// hex digits.
#pragma once

#include <concepts>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class FormatArg {
public:
    enum class Kind { Signed, Unsigned, Float, Text };

    template <std::signed_integral T>
    FormatArg(T v) : kind_(Kind::Signed), size_(sizeof(T)), signed_(v) {}
    template <std::unsigned_integral T>
    FormatArg(T v) : kind_(Kind::Unsigned), size_(sizeof(T)), unsigned_(v) {}
    FormatArg(double v) : kind_(Kind::Float), float_(v) {}
    FormatArg(const char* text) : kind_(Kind::Text), text_(text ? text : "(null)") {}
    FormatArg(const std::string& text) : kind_(Kind::Text), text_(text) {}
    FormatArg(std::string_view text) : kind_(Kind::Text), text_(text) {}

    Kind kind() const { return kind_; }
    size_t size() const { return size_; }
    int64_t asSigned() const { return signed_; }
    uint64_t asUnsigned() const { return unsigned_; }
    double asFloat() const { return float_; }
    std::string_view text() const { return text_; }

private:
    Kind kind_;
    size_t size_ = 8;
    int64_t signed_ = 0;
    uint64_t unsigned_ = 0;
    double float_ = 0;
    std::string_view text_;
};

// One conversion of a format: its flags, width and precision (-1: none) and conversion letter.
struct FormatDirective {
    std::string flags;
    int width = -1;
    int precision = -1;
    char conv = 0;
};

std::string FormatTextV(std::string_view format, std::span<const FormatArg> args);

// The arguments must outlive the call only (texts are viewed, not copied).
template <class... Args>
std::string FormatText(std::string_view format, const Args&... args) {
    const FormatArg list[] = {FormatArg(args)..., FormatArg(0)};
    return FormatTextV(format, std::span<const FormatArg>(list, sizeof...(Args)));
}

// A format read once and filled many times, as FormatText fills it: for a line written once per
// number of a long list.
class PreparedFormat {
public:
    explicit PreparedFormat(std::string_view format);

    template <class... Args>
    void Append(std::string& out, const Args&... args) const {
        const FormatArg list[] = {FormatArg(args)..., FormatArg(0)};
        AppendV(out, std::span<const FormatArg>(list, sizeof...(Args)));
    }
    void AppendV(std::string& out, std::span<const FormatArg> args) const;

private:
    struct Piece {
        std::string text;  // literal text, or the conversion as written (kept when its argument is missing)
        bool conversion = false;
        FormatDirective directive;
        size_t arg = 0;
    };
    std::vector<Piece> m_pieces;
};

}  // namespace platform
