#include "platform/TextFormat.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <type_traits>

namespace platform {
namespace {

// No text of ours asks for more; a larger number in a broken translation must not allocate wildly.
constexpr int kMaxWidth = 4096;

using Directive = FormatDirective;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits at format[pos]; -1 when there are none. Capped at kMaxWidth.
int ReadNumber(std::string_view format, size_t& pos) {
    if (pos >= format.size() || !IsDigit(format[pos])) return -1;
    long n = 0;
    while (pos < format.size() && IsDigit(format[pos])) {
        if (n <= kMaxWidth) n = n * 10 + (format[pos] - '0');
        ++pos;
    }
    return n > kMaxWidth ? kMaxWidth : static_cast<int>(n);
}

void AppendPadded(std::string& out, std::string_view text, const Directive& directive) {
    if (directive.precision >= 0 && text.size() > static_cast<size_t>(directive.precision)) text = text.substr(0, directive.precision);
    size_t pad = directive.width > 0 && static_cast<size_t>(directive.width) > text.size() ? directive.width - text.size() : 0;
    bool left = directive.flags.find('-') != std::string::npos;
    if (!left) out.append(pad, ' ');
    out.append(text);
    if (left) out.append(pad, ' ');
}

// snprintf of one converted value with the directive's flags, width and precision.
template <class T>
void AppendPrintf(std::string& out, const Directive& directive, const char* length, T value) {
    if constexpr (std::is_integral_v<T>) {
        // A plain conversion (the log's counts and flag words) needs no format for snprintf.
        if (directive.flags.empty() && directive.width < 0 && directive.precision < 0) {
            const char c = directive.conv;
            char buf[32];
            const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, c == 'x' || c == 'X' ? 16 : c == 'o' ? 8 : 10);
            if (ec == std::errc()) {
                if (c == 'X')
                    for (char* p = buf; p != end; ++p) *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
                out.append(buf, end);
                return;
            }
        }
    }
    std::string fmt = "%" + directive.flags;
    if (directive.width >= 0) fmt += std::to_string(directive.width);
    if (directive.precision >= 0) fmt += "." + std::to_string(directive.precision);
    fmt += length;
    fmt += directive.conv;
    char buf[128];
    int n = std::snprintf(buf, sizeof buf, fmt.c_str(), value);
    if (n < 0) return;
    if (static_cast<size_t>(n) < sizeof buf) {
        out.append(buf, n);
        return;
    }
    size_t at = out.size();
    out.resize(at + n + 1);
    std::snprintf(out.data() + at, n + 1, fmt.c_str(), value);
    out.resize(at + n);
}

// Out-of-range doubles do not convert to integers in C++; clamp them first.
long long ClampToInteger(double v) {
    if (v != v) return 0;
    if (v >= 9.2e18) return std::numeric_limits<long long>::max();
    if (v <= -9.2e18) return std::numeric_limits<long long>::min();
    return static_cast<long long>(v);
}

std::string_view CText(std::string_view text) { return text.substr(0, text.find('\0')); }

std::string NumberText(const FormatArg& arg) {
    switch (arg.kind()) {
        case FormatArg::Kind::Signed: return std::to_string(arg.asSigned());
        case FormatArg::Kind::Unsigned: return std::to_string(arg.asUnsigned());
        case FormatArg::Kind::Float: {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%g", arg.asFloat());
            return buf;
        }
        case FormatArg::Kind::Text: break;
    }
    return std::string(CText(arg.text()));
}

// The value's bits at its own width, as %x and %u show a signed argument.
uint64_t AsBits(const FormatArg& arg) {
    uint64_t v = static_cast<uint64_t>(arg.asSigned());
    return arg.size() >= 8 ? v : v & ((uint64_t{1} << (8 * arg.size())) - 1);
}

void AppendOne(std::string& out, const Directive& directive, const FormatArg& arg) {
    const char c = directive.conv;
    if (c == 's' || arg.kind() == FormatArg::Kind::Text) {
        if (c == 'c' && arg.kind() == FormatArg::Kind::Text) {
            Directive one = directive;
            one.precision = 1;
            return AppendPadded(out, CText(arg.text()), one);
        }
        return AppendPadded(out, arg.kind() == FormatArg::Kind::Text ? CText(arg.text()) : NumberText(arg), directive);
    }
    if (c == 'c') {
        Directive noPrecision = directive;
        noPrecision.precision = -1;
        char ch = arg.kind() == FormatArg::Kind::Float    ? static_cast<char>(ClampToInteger(arg.asFloat()))
                  : arg.kind() == FormatArg::Kind::Signed ? static_cast<char>(arg.asSigned())
                                                          : static_cast<char>(arg.asUnsigned());
        return AppendPadded(out, std::string_view(&ch, 1), noPrecision);
    }
    if (std::strchr("fFeEgGaA", c)) {
        double v = arg.kind() == FormatArg::Kind::Float      ? arg.asFloat()
                   : arg.kind() == FormatArg::Kind::Signed ? static_cast<double>(arg.asSigned())
                                                             : static_cast<double>(arg.asUnsigned());
        return AppendPrintf(out, directive, "", v);
    }
    // Integer conversions.
    const bool signedConv = c == 'd' || c == 'i';
    if (arg.kind() == FormatArg::Kind::Float) {
        long long n = ClampToInteger(arg.asFloat());
        if (signedConv) return AppendPrintf(out, directive, "ll", n);
        return AppendPrintf(out, directive, "ll", static_cast<unsigned long long>(n));
    }
    if (arg.kind() == FormatArg::Kind::Unsigned) {
        // An unsigned value keeps its value under %d rather than wrapping.
        Directive asUnsigned = directive;
        if (signedConv) asUnsigned.conv = 'u';
        return AppendPrintf(out, asUnsigned, "ll", static_cast<unsigned long long>(arg.asUnsigned()));
    }
    if (signedConv) return AppendPrintf(out, directive, "ll", static_cast<long long>(arg.asSigned()));
    return AppendPrintf(out, directive, "ll", static_cast<unsigned long long>(AsBits(arg)));
}

// The conversion whose "%" is at format[pct]: its directive and argument (`next` counts the
// arguments taken in order), and where it ends. False when it is no conversion.
bool ReadConversion(std::string_view format, size_t pct, size_t& next, Directive& directive, size_t& argIndex,
                    size_t& end) {
    size_t pos = pct + 1;
    argIndex = static_cast<size_t>(-1);
    size_t save = pos;
    int position = ReadNumber(format, pos);
    if (position > 0 && pos < format.size() && format[pos] == '$')
        argIndex = static_cast<size_t>(position - 1), ++pos;
    else
        pos = save;
    while (pos < format.size() && std::strchr("-+ #0", format[pos]) && format[pos] != '\0') {
        if (directive.flags.find(format[pos]) == std::string::npos) directive.flags.push_back(format[pos]);
        ++pos;
    }
    directive.width = ReadNumber(format, pos);
    if (pos < format.size() && format[pos] == '.') {
        ++pos;
        directive.precision = ReadNumber(format, pos);
        if (directive.precision < 0) directive.precision = 0;
    }
    while (pos < format.size() && std::strchr("hlLqjzt", format[pos]) && format[pos] != '\0') ++pos;
    if (pos >= format.size() || format[pos] == '\0' || !std::strchr("diuoxXcsfFeEgGaA", format[pos])) return false;
    directive.conv = format[pos];
    end = pos + 1;
    if (argIndex == static_cast<size_t>(-1)) argIndex = next++;
    return true;
}

// Walks the format: `literal` gets the text between conversions ("%%" already made "%"),
// `conversion` each conversion with its argument index and the conversion as written.
template <class Literal, class Conversion>
void WalkFormat(std::string_view format, Literal&& literal, Conversion&& conversion) {
    size_t next = 0;
    size_t i = 0;
    while (i < format.size()) {
        size_t pct = format.find('%', i);
        if (pct == std::string_view::npos) {
            literal(format.substr(i));
            break;
        }
        literal(format.substr(i, pct - i));
        if (pct + 1 < format.size() && format[pct + 1] == '%') {
            literal("%");
            i = pct + 2;
            continue;
        }
        Directive directive;
        size_t argIndex = 0, end = 0;
        if (!ReadConversion(format, pct, next, directive, argIndex, end)) {
            literal("%");  // not a conversion: the text stays as written
            i = pct + 1;
            continue;
        }
        conversion(directive, argIndex, format.substr(pct, end - pct));
        i = end;
    }
}

}  // namespace

std::string FormatTextV(std::string_view format, std::span<const FormatArg> args) {
    std::string out;
    out.reserve(format.size() + 16 * args.size());
    WalkFormat(
        format, [&](std::string_view text) { out.append(text); },
        [&](const Directive& directive, size_t arg, std::string_view asWritten) {
            // A missing argument leaves the conversion as written.
            if (arg >= args.size()) out.append(asWritten);
            else AppendOne(out, directive, args[arg]);
        });
    return out;
}

PreparedFormat::PreparedFormat(std::string_view format) {
    WalkFormat(
        format,
        [&](std::string_view text) {
            if (text.empty()) return;
            if (m_pieces.empty() || m_pieces.back().conversion) m_pieces.emplace_back();
            m_pieces.back().text.append(text);
        },
        [&](const Directive& directive, size_t arg, std::string_view asWritten) {
            m_pieces.push_back({std::string(asWritten), true, directive, arg});
        });
}

void PreparedFormat::AppendV(std::string& out, std::span<const FormatArg> args) const {
    for (const Piece& piece : m_pieces) {
        if (!piece.conversion || piece.arg >= args.size()) out.append(piece.text);
        else AppendOne(out, piece.directive, args[piece.arg]);
    }
}

}  // namespace platform
