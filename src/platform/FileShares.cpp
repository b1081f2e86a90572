#include "platform/FileShares.h"

#include <cerrno>
#include <cstring>

#include "platform/FileSystem.h"

namespace platform {
namespace {

thread_local std::string t_error;

// The file system a path lives on, and the path as that file system takes it.
IFileSystem& Resolve(const std::string& path) {
    std::string host, share, rest;
    return SplitSharePath(path, host, share, rest) ? SmbFiles() : LocalFiles();
}

bool EndsWithWildcard(const std::string& p) {
    return p.size() >= 2 && p.back() == '*' && (p[p.size() - 2] == '\\' || p[p.size() - 2] == '/');
}

}  // namespace

void SetFileError(std::string text) { t_error = std::move(text); }

bool FailWithErrno(const std::string& what, const std::string& path) {
    SetFileError(what + " " + path + ": " + std::strerror(errno));
    return false;
}

std::string LastPathPart(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}
const std::string& FileErrorText() { return t_error; }

bool SplitSharePath(const std::string& path, std::string& host, std::string& share, std::string& rest) {
    if (path.size() < 3 || path[0] != '\\' || path[1] != '\\') return false;
    const size_t hostEnd = path.find('\\', 2);
    if (hostEnd == std::string::npos || hostEnd == 2) return false;
    const size_t shareEnd = path.find('\\', hostEnd + 1);
    host = path.substr(2, hostEnd - 2);
    share = path.substr(hostEnd + 1, shareEnd == std::string::npos ? std::string::npos : shareEnd - hostEnd - 1);
    rest = shareEnd == std::string::npos ? std::string() : path.substr(shareEnd + 1);
    return !share.empty();
}

int ConnectShare(const std::string& sharePath, const std::string& account, const std::string& password) {
    std::string host, share, rest;
    if (!SplitSharePath(sharePath, host, share, rest) || !rest.empty()) {
        SetFileError("not a share: " + sharePath);
        return kConnectBadNetName;
    }
    return SmbConnect(host, share, account, password);
}

void DisconnectShare(const std::string& sharePath) {
    std::string host, share, rest;
    if (SplitSharePath(sharePath, host, share, rest)) SmbDisconnect(host, share);
}

bool ListFiles(const std::string& pattern, std::vector<FileEntry>& entries) {
    entries.clear();
    if (EndsWithWildcard(pattern)) {
        const std::string dir = pattern.substr(0, pattern.size() - 2);
        return Resolve(dir).List(dir, true, entries);
    }
    return Resolve(pattern).List(pattern, false, entries);
}

bool MakeDirectory(const std::string& path) { return Resolve(path).MakeDirectory(path); }

bool RemoveFile(const std::string& path) { return Resolve(path).Remove(path); }

bool CopyFile(const std::string& from, const std::string& to) {
    std::unique_ptr<IFileReader> in = Resolve(from).OpenRead(from);
    if (!in) return false;
    IFileSystem& target = Resolve(to);
    std::unique_ptr<IFileWriter> out = target.OpenWrite(to);
    if (!out) return false;
    std::vector<uint8_t> buffer(64 * 1024);
    bool ok = true;
    for (;;) {
        const long n = in->Read(buffer.data(), buffer.size());
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        if (!out->Write(buffer.data(), size_t(n))) {
            ok = false;
            break;
        }
    }
    const std::string why = FileErrorText();
    if (!out->Close()) ok = false;
    if (!ok) {
        target.Remove(to);  // no partial copy stays
        if (!why.empty()) SetFileError(why);
    }
    return ok;
}

}  // namespace platform
