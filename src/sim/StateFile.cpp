#include "sim/StateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

namespace {

std::string SystemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

bool ReadTextFile(const std::string& path, std::size_t maxSize, std::string& text, std::string& error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = SystemError("cannot open", path);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "cannot read " + path + ": not a regular file";
        ::close(fd);
        return false;
    }
    if (static_cast<std::size_t>(st.st_size) > maxSize) {
        error = "cannot read " + path + ": larger than " + std::to_string(maxSize) + " bytes";
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
    std::string temp = path + ".tmp-XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = SystemError("cannot create a file beside", path);
        return false;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    bool ok = done == text.size();
    if (!ok) error = SystemError("cannot write", temp);
    if (::close(fd) != 0 && ok) {
        error = SystemError("cannot write", temp);
        ok = false;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        error = SystemError("cannot replace", path);
        ok = false;
    }
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

}  // namespace sim
