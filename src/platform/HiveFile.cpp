#include "platform/HiveFile.h"

#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace platform::hivefile {
namespace {

// A hive of the stand-in holds a few keys; anything this large is not one of ours.
constexpr off_t kMaxHiveBytes = 16 * 1024 * 1024;

std::string SysError(const std::string& path, const char* what, int err) {
    return path + ": " + what + ": " + std::strerror(err);
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// The whole file; false with `missing` when it does not exist.
bool ReadFile(const std::string& path, std::string& text, bool& missing, std::string& error) {
    missing = false;
    text.clear();
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT) {
            missing = true;
            return true;
        }
        error = SysError(path, "cannot open", errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        error = SysError(path, "cannot stat", errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + ": not a regular file";
        return false;
    }
    if (st.st_size > kMaxHiveBytes) {
        error = path + ": larger than a hive can be";
        return false;
    }
    text.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (true) {
        if (got == text.size()) text.resize(text.size() + 4096);  // the file may have grown
        ssize_t n = ::read(fd.get(), text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = SysError(path, "cannot read", errno);
            return false;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
        if (got > static_cast<size_t>(kMaxHiveBytes)) {
            error = path + ": larger than a hive can be";
            return false;
        }
    }
    text.resize(got);
    return true;
}

bool ReplaceFile(const std::string& path, const std::string& text, std::string& error) {
    return WriteFileAtomic(path, text, ExistingMode(path, 0644), error);
}

}  // namespace

bool Load(const std::string& path, std::string_view rootName, regfile::Hive& hive, std::string& error) {
    std::string text;
    bool missing = false;
    if (!ReadFile(path, text, missing, error)) {
        hive = regfile::Hive();
        return false;
    }
    regfile::ParseError parseError;
    if (regfile::Parse(text, rootName, hive, parseError)) return true;
    error = path + ":" + std::to_string(parseError.line) + ": " + parseError.message;
    return false;
}

bool Update(const std::string& path, std::string_view rootName,
            const std::function<Edit(regfile::Hive&, std::string& error)>& edit, std::string& error) {
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::path(path).parent_path();
    if (!dir.empty()) std::filesystem::create_directories(dir, ec);
    if (ec) {
        error = dir.string() + ": cannot create the directory: " + ec.message();
        return false;
    }
    std::string lockPath = path + ".lock";
    Fd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (lock.get() < 0) {
        error = SysError(lockPath, "cannot open", errno);
        return false;
    }
    while (::flock(lock.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            error = SysError(lockPath, "cannot lock", errno);
            return false;
        }
    }
    // The lock goes with the descriptor when it closes.
    regfile::Hive hive;
    std::string loadError;
    if (!Load(path, rootName, hive, loadError)) {
        error = loadError + " (the hive is left as it is)";
        return false;
    }
    switch (edit(hive, error)) {
        case Edit::Failed: return false;
        case Edit::Unchanged: return true;
        case Edit::Changed: break;
    }
    std::string text;
    if (!regfile::Serialize(hive, rootName, text)) {
        error = path + ": a key or value name cannot be written";
        return false;
    }
    return ReplaceFile(path, text, error);
}

}  // namespace platform::hivefile
