#include "sim/StateFile.h"

#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

std::string SystemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

int OpenRegularFile(const std::string& path, int flags, unsigned mode, const char* verb, struct stat& st,
                    std::string& error) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, mode);
    if (fd < 0) {
        error = SystemError("cannot open", path);
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = std::string("cannot ") + verb + " " + path + ": not a regular file";
        ::close(fd);
        return -1;
    }
    return fd;
}

bool ReadTextFile(const std::string& path, std::size_t maxSize, std::string& text, std::string& error) {
    // A pipe or a device is refused before it is opened, so reading never waits on one.
    if (!platform::IsRegularOrMissing(path, error)) return false;
    struct stat st {};
    const int fd = OpenRegularFile(path, O_RDONLY, 0, "read", st, error);
    if (fd < 0) return false;
    if (static_cast<std::size_t>(st.st_size) > maxSize) {
        error = "cannot read " + path + ": larger than " + std::to_string(maxSize) + " bytes, the most a state file may hold";
        ::close(fd);
        return false;
    }
    text.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < text.size()) {
        ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    const bool ok = got == text.size();
    if (!ok) error = SystemError("cannot read", path);
    ::close(fd);
    return ok;
}

bool WriteFileAtomic(const std::string& path, const std::string& text, std::string& error) {
    return platform::WriteFileAtomic(path, text, platform::ExistingMode(path, 0644), error);
}

}  // namespace sim
