#include "cli/PasswordInput.h"

#include "document/Encrypt.h"
#include "document/SiteRec.h"
#include "platform/CodePage.h"

namespace {

bool ToCodePage(const std::string& utf8, std::string& out) {
    out = platform::Utf8ToCodePage(utf8);
    return platform::CodePageToUtf8(out) == utf8;
}

}  // namespace

bool ParsePasswordSpec(const std::string& utf8, const std::string& origin, GivenPassword& out, std::string& error) {
    const size_t eq = utf8.find('=');
    if (eq == std::string::npos) {
        error = origin + ": not SITE=PASSWORD (no \"=\")";
        return false;
    }
    out.origin = origin;
    if (!ToCodePage(utf8.substr(0, eq), out.site)) {
        error = origin + ": the site name \"" + out.site + "\" has a character that the code page " +
                platform::CodePageName() + " cannot represent";
        return false;
    }
    const std::string forSite = origin + ": the password for site " + out.site;
    if (!ToCodePage(utf8.substr(eq + 1), out.password)) {
        error = forSite + " has a character that the code page " + platform::CodePageName() + " cannot represent";
        return false;
    }
    // A longer password would be cut where it enters the site, and a different one used.
    if (out.password.size() > kMaxDayWhite) {
        error = forSite + " is longer than " + std::to_string(kMaxDayWhite) + " characters";
        return false;
    }
    if (!IsStorableSecret(out.password)) {
        error = forSite + " cannot be kept in the configuration file";
        return false;
    }
    return true;
}

bool ReadPasswordLines(std::istream& in, std::vector<GivenPassword>& out, std::string& error) {
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        GivenPassword given;
        if (!ParsePasswordSpec(line, "standard input, line " + std::to_string(number), given, error)) return false;
        out.push_back(std::move(given));
    }
    if (in.bad()) {
        error = "standard input could not be read";
        return false;
    }
    return true;
}
