#include "server/ForwardTemplates.h"

#include <strings.h>

namespace {

size_t PlaceholderPosition(std::string& pattern) {
    size_t pos = pattern.find_first_of("Nn");
    if (pos == std::string::npos) {
        pattern += 'N';
        pos = pattern.size() - 1;
    }
    return pos;
}

constexpr std::string_view kBlanks = " \t\r\n";

std::string_view TrimView(std::string_view text) {
    const size_t begin = text.find_first_not_of(kBlanks);
    if (begin == std::string_view::npos) return {};
    return text.substr(begin, text.find_last_not_of(kBlanks) - begin + 1);
}

}  // namespace

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string TrimBlanks(const std::string& text) { return std::string(TrimView(text)); }

std::string BuildForwardNumber(const std::string& patternIn, const std::string& extIn) {
    std::string pattern = TrimBlanks(patternIn);
    if (pattern.empty()) return std::string();
    std::string ext = TrimBlanks(extIn);
    if (ext.empty()) return std::string();
    size_t pos = PlaceholderPosition(pattern);
    return pattern.substr(0, pos) + ext + pattern.substr(pos + 1);
}

bool MatchForwardNumber(std::string_view valueIn, std::string_view patternIn, std::string_view extIn) {
    const std::string_view value = TrimView(valueIn);
    const std::string_view pattern = TrimView(patternIn);
    const std::string_view ext = TrimView(extIn);
    if (value.empty() || pattern.empty() || ext.empty()) return false;
    // A pattern without a placeholder has the number at its end.
    const size_t pos = pattern.find_first_of("Nn");
    const std::string_view prefix = pattern.substr(0, pos);
    const std::string_view rest = pos == std::string_view::npos ? std::string_view{} : pattern.substr(pos + 1);
    // prefix, number and rest must fill the value exactly
    return value.size() == prefix.size() + ext.size() + rest.size() && value.starts_with(prefix) &&
           value.substr(prefix.size(), ext.size()) == ext && value.ends_with(rest);
}

std::string BuildMailForward(const std::string& suffixIn, const std::string& nameIn) {
    std::string name = TrimBlanks(nameIn);
    if (name.empty()) return std::string();
    std::string suffix = TrimBlanks(suffixIn);
    if (suffix.empty()) return std::string();
    if (suffix[0] == '@') return name + suffix;
    return name + "@" + suffix;
}

bool MatchMailForward(std::string_view addressIn, std::string_view suffixIn, std::string_view nameIn) {
    const std::string_view address = TrimView(addressIn);
    const std::string_view suffix = TrimView(suffixIn);
    const std::string_view name = TrimView(nameIn);
    if (address.empty() || suffix.empty() || name.empty()) return false;
    const size_t at = address.find('@');
    if (at == std::string_view::npos) return false;
    if (!EqualNoCase(address.substr(0, at), name)) return false;
    // The suffix may be given as the domain alone or with a part and "@" before it.
    const size_t suffixAt = suffix.find('@');
    const std::string_view domain = suffixAt == std::string_view::npos ? suffix : suffix.substr(suffixAt + 1);
    return EqualNoCase(address.substr(at + 1), domain);
}
