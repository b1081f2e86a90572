#include "platform/TextFormat.h"

#include <cstdio>
#include <cstring>
#include <limits>

namespace platform {
namespace {

// No text of ours asks for more; a larger number in a broken translation must not allocate wildly.
constexpr int kMaxWidth = 4096;

struct Directive {
    std::string flags;
    int width = -1;
    int precision = -1;
    char conv = 0;
};

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

}  // namespace

std::string FormatTextV(std::string_view format, std::span<const FormatArg> args) {
    std::string out;
    out.reserve(format.size() + 16 * args.size());
    size_t next = 0;
    size_t i = 0;
    while (i < format.size()) {
        size_t pct = format.find('%', i);
        if (pct == std::string_view::npos) {
            out.append(format.substr(i));
            break;
        }
        out.append(format.substr(i, pct - i));
        size_t pos = pct + 1;
        if (pos < format.size() && format[pos] == '%') {
            out.push_back('%');
            i = pos + 1;
            continue;
        }
        Directive directive;
        size_t argIndex = static_cast<size_t>(-1);
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
        if (pos >= format.size() || format[pos] == '\0' || !std::strchr("diuoxXcsfFeEgGaA", format[pos])) {
            out.push_back('%');  // not a conversion: the text stays as written
            i = pct + 1;
            continue;
        }
        directive.conv = format[pos];
        ++pos;
        if (argIndex == static_cast<size_t>(-1)) argIndex = next++;
        if (argIndex >= args.size()) {
            out.append(format.substr(pct, pos - pct));
        } else {
            AppendOne(out, directive, args[argIndex]);
        }
        i = pos;
    }
    return out;
}

}  // namespace platform
