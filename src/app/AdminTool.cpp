#include "app/AdminTool.h"

#include <filesystem>
#include <system_error>

#include "platform/RegReaders.h"

namespace {

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

struct Entry {
    const char* key;
    bool afterC;       // the rule: after "-c", else between quotes
    bool namesKqr;     // the entry's product installs "kqradmin.exe" (with "zentadmin.exe" as second)
};

constexpr Entry kEntries[] = {
    {"ZentWare RT 4.6", true, true},
    {"ZentContact Manager 4.6", false, true},
    {"ZentWare VX 4.6", true, false},
    {"ZentWare Administrator 4.6", false, false},
    {"ZentWare VX 4.5", true, false},
    {"ZentWare Administrator 4.5", false, false},
};

std::string CutAfterLastSeparator(const std::string& path) {
    const size_t sep = path.find_last_of("\\/");
    return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

}  // namespace

std::string AdminDirAfterC(const std::string& value) {
    const size_t at = value.find("-c");
    const std::string rest = at == std::string::npos ? (value.size() > 1 ? value.substr(1) : std::string())
                                                     : value.substr(at + 2);
    // The path may stand apart from the switch by blanks.
    const size_t begin = rest.find_first_not_of(' ');
    return CutAfterLastSeparator(begin == std::string::npos ? std::string() : rest.substr(begin));
}

std::string AdminDirBetweenQuotes(const std::string& value) {
    const size_t open = value.find('"');
    if (open == std::string::npos) return CutAfterLastSeparator(std::string());
    const size_t close = value.find('"', open + 1);
    return CutAfterLastSeparator(value.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1));
}

AdminTool FindAdminTool() {
    std::string candidate = "zentadmin.exe";
    for (const Entry& e : kEntries) {
        std::string value;
        if (!platform::ReadRegString(kUninstall + e.key, "UninstallString", value, "XXX", platform::RegRoot::LocalMachine) ||
            value == "XXX")
            continue;
        const std::string dir = e.afterC ? AdminDirAfterC(value) : AdminDirBetweenQuotes(value);
        if (e.namesKqr) candidate = "kqradmin.exe";
        if (dir.empty()) continue;  // no directory named: nothing to look in
        if (FileExists(dir + candidate)) return {dir, candidate};
        if (e.namesKqr && FileExists(dir + "zentadmin.exe")) return {dir, "zentadmin.exe"};
    }
    return {};
}
