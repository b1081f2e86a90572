#include "cli/PasswordInput.h"

#include "document/Encrypt.h"
#include "document/SiteRec.h"
#include "cli/CliContext.h"

bool ParsePasswordSpec(const std::string& utf8, const std::string& origin, GivenPassword& out, std::string& error) {
    const size_t eq = utf8.find('=');
    if (eq == std::string::npos) {
        error = origin + ": not SITE=PASSWORD (no \"=\")";
        return false;
    }
    out.origin = origin;
    if (std::string problem = ArgProblem("site name", utf8.substr(0, eq), kMaxSiteName, out.site); !problem.empty()) {
        error = origin + ": " + problem;
        return false;
    }
    // A longer password would be cut where it enters the site, and a different one used.
    if (std::string problem = ArgProblem("password for site " + out.site, utf8.substr(eq + 1), kMaxDayWhite, out.password);
        !problem.empty()) {
        error = origin + ": " + problem;
        return false;
    }
    if (!IsStorableSecret(out.password)) {
        error = origin + ": the password for site " + out.site + " cannot be kept in the configuration file";
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
