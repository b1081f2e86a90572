#include "relocation/DirUtil.h"

#include <chrono>
#include <thread>
#include <vector>

#include "platform/FileShares.h"

namespace relocation {
namespace {

constexpr auto kCreateWait = std::chrono::milliseconds(500);

std::string Join(const std::string& path, const std::string& name) { return path + "\\" + name; }

}  // namespace

bool DirExists(const std::string& path) {
    // A drive root such as C:\; this platform has no drive letters.
    if (path.size() <= 3) return false;
    std::vector<platform::FileEntry> entries;
    if (!platform::ListFiles(path, entries)) return false;
    for (const platform::FileEntry& e : entries)
        if (e.directory) return true;
    return false;
}

bool CreateDirTree(const std::string& path) {
    if (DirExists(path)) return true;
    const size_t cut = path.find_last_of('\\');
    if (cut == std::string::npos) return false;
    const std::string parent = path.substr(0, cut);
    if (parent.size() > 1 && CreateDirTree(parent)) return platform::MakeDirectory(path);
    return false;
}

bool CopyDirTree(const std::string& from, const std::string& to, int retries, std::string& why) {
    auto note = [&](const std::string& text) {
        if (why.empty()) why = text;
        return false;
    };
    bool created = false;
    for (int attempt = 0; attempt < retries && !created; ++attempt) {
        created = CreateDirTree(to);
        if (!created) std::this_thread::sleep_for(kCreateWait);
    }
    if (!created) return note(platform::FileErrorText().empty() ? "cannot create " + to : platform::FileErrorText());
    std::vector<platform::FileEntry> entries;
    if (!platform::ListFiles(Join(from, "*"), entries)) return note(platform::FileErrorText());
    bool ok = true;
    for (const platform::FileEntry& e : entries) {
        if (e.directory) {
            if (!e.name.empty() && e.name[0] == '.') continue;
            if (!CopyDirTree(Join(from, e.name), Join(to, e.name), retries, why)) ok = false;
            continue;
        }
        bool copied = false;
        for (int attempt = 0; attempt < retries && !copied; ++attempt)
            copied = platform::CopyFile(Join(from, e.name), Join(to, e.name));
        if (!copied) ok = note(platform::FileErrorText());
    }
    return ok;
}

int32_t GetDirSizeKB(const std::string& path) {
    if (!DirExists(path)) return 0;
    std::vector<platform::FileEntry> entries;
    if (!platform::ListFiles(Join(path, "*"), entries)) return 0;
    int32_t kb = 0;
    uint32_t bytes = 0;
    for (const platform::FileEntry& e : entries) {
        if (!e.directory) bytes += uint32_t(e.size);
        else if (!e.name.empty() && e.name[0] != '.') kb += GetDirSizeKB(Join(path, e.name));
    }
    return kb + int32_t(bytes / 1024);
}

}  // namespace relocation
