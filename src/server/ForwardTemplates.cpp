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

}  // namespace

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string TrimBlanks(const std::string& text) {
    const char* blanks = " \t\r\n";
    size_t begin = text.find_first_not_of(blanks);
    if (begin == std::string::npos) return std::string();
    size_t end = text.find_last_not_of(blanks);
    return text.substr(begin, end - begin + 1);
}

std::string BuildForwardNumber(const std::string& patternIn, const std::string& extIn) {
    std::string pattern = TrimBlanks(patternIn);
    if (pattern.empty()) return std::string();
    std::string ext = TrimBlanks(extIn);
    if (ext.empty()) return std::string();
    size_t pos = PlaceholderPosition(pattern);
    return pattern.substr(0, pos) + ext + pattern.substr(pos + 1);
}

bool MatchForwardNumber(const std::string& valueIn, const std::string& patternIn, const std::string& extIn) {
    std::string value = TrimBlanks(valueIn);
    std::string pattern = TrimBlanks(patternIn);
    std::string ext = TrimBlanks(extIn);
    if (value.empty() || pattern.empty() || ext.empty()) return false;
    size_t pos = PlaceholderPosition(pattern);
    // prefix, number and rest must fill the value exactly
    const std::string rest = pattern.substr(pos + 1);
    if (value.size() != pos + ext.size() + rest.size()) return false;
    return value.compare(0, pos, pattern, 0, pos) == 0 && value.compare(pos, ext.size(), ext) == 0 &&
           value.compare(pos + ext.size(), std::string::npos, rest) == 0;
}

std::string BuildMailForward(const std::string& suffixIn, const std::string& nameIn) {
    std::string name = TrimBlanks(nameIn);
    if (name.empty()) return std::string();
    std::string suffix = TrimBlanks(suffixIn);
    if (suffix.empty()) return std::string();
    if (suffix[0] == '@') return name + suffix;
    return name + "@" + suffix;
}

bool MatchMailForward(const std::string& addressIn, const std::string& suffixIn, const std::string& nameIn) {
    std::string address = TrimBlanks(addressIn);
    std::string suffix = TrimBlanks(suffixIn);
    std::string name = TrimBlanks(nameIn);
    if (address.empty() || suffix.empty() || name.empty()) return false;
    size_t at = address.find('@');
    if (at == std::string::npos) return false;
    if (!EqualNoCase(address.substr(0, at), name)) return false;
    if (suffix.find('@') == std::string::npos) suffix.insert(suffix.begin(), '@');
    const std::string domain = suffix.substr(suffix.find('@') + 1);
    return EqualNoCase(address.substr(at + 1), domain);
}
