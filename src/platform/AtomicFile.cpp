#include "platform/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

// A temporary file is the target's name with this and six characters from mkstemp.
constexpr std::string_view kTempInfix = ".tmp-";
constexpr size_t kTempRandom = 6;
constexpr int kMaxLinks = 40;

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const char* KindOf(mode_t mode) {
    if (S_ISFIFO(mode)) return "a pipe";
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a plain file";
}

// Whether the user may replace the file. Root may write anything, but a file that grants nobody
// write permission was made read-only on purpose, and is kept as it is, as an editor would.
bool MayWrite(const std::string& path, const struct stat& st) {
    if (::access(path.c_str(), W_OK) != 0) return false;
    if (::geteuid() == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        errno = EACCES;
        return false;
    }
    return true;
}

void SyncDirectory(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // the rename survives a power cut; nothing to do when it fails
    ::close(fd);
}

}  // namespace

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

mode_t ExistingMode(const std::string& path, mode_t fallback) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : fallback;
}

bool ResolveLinks(const std::string& path, std::string& resolved, std::string& error) {
    std::string current = path;
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            resolved = current;
            return true;
        }
        std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 256) + 1, '\0');
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<size_t>(n) >= target.size()) {
            error = path + ": cannot read the symbolic link " + current + ": " + std::strerror(n < 0 ? errno : ENAMETOOLONG);
            return false;
        }
        target.resize(static_cast<size_t>(n));
        current = target.front() == '/' ? target : DirectoryOf(current) + "/" + target;
    }
    error = path + ": " + std::strerror(ELOOP);
    return false;
}

bool IsRegularOrMissing(const std::string& path, std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return true;
        error = path + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISREG(st.st_mode)) return true;
    error = path + " is not a regular file but " + KindOf(st.st_mode) + "; it is neither read nor written.";
    return false;
}

bool WriteFileAtomic(const std::string& path, std::string_view bytes, mode_t mode, std::string& error) {
    std::string target;
    if (!ResolveLinks(path, target, error)) return false;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            error = path + " is not a regular file but " + KindOf(st.st_mode) + "; it is neither read nor written.";
            return false;
        }
        if (!MayWrite(target, st)) {
            error = path + ": cannot write: " + std::strerror(errno);
            return false;
        }
    } else if (errno != ENOENT) {
        error = path + ": " + std::strerror(errno);
        return false;
    }

    std::string temp = target + std::string(kTempInfix) + std::string(kTempRandom, 'X');
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        error = path + ": cannot create a temporary file: " + std::strerror(errno);
        return false;
    }
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        error = path + ": cannot write: " + std::strerror(err);
        return false;
    }
    SyncDirectory(DirectoryOf(target));
    return true;
}

int RemoveLeftTemporaries(const std::string& path) {
    std::string target, error;
    if (!ResolveLinks(path, target, error)) return 0;
    const std::string dir = DirectoryOf(target);
    const std::string prefix = BaseName(target) + std::string(kTempInfix);
    DIR* d = ::opendir(dir.c_str());
    if (!d) return 0;
    int removed = 0;
    while (const dirent* e = ::readdir(d)) {
        const std::string_view name(e->d_name);
        if (name.size() != prefix.size() + kTempRandom || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string full = dir + "/" + std::string(name);
        struct stat st {};
        // Only plain files: a link or directory of that name is the user's, not ours.
        if (::lstat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(full.c_str()) == 0) ++removed;
    }
    ::closedir(d);
    return removed;
}

}  // namespace platform
