#include "platform/FileLock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/AtomicFile.h"
#include "platform/Trace.h"

namespace platform {

namespace {

constexpr int kDefaultTimeoutMs = 30000;
constexpr size_t kMaxHolderText = 256;

LockHolder ReadHolder(int fd) {
    char text[kMaxHolderText + 1] = {};
    const ssize_t n = ::pread(fd, text, kMaxHolderText, 0);
    LockHolder holder;
    if (n <= 0) return holder;
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    if (end == text || pid <= 0) return holder;
    holder.pid = pid;
    std::string what(end, text + n);
    while (!what.empty() && (what.front() == ' ')) what.erase(0, 1);
    while (!what.empty() && (what.back() == '\n' || what.back() == ' ')) what.pop_back();
    holder.what = what;
    return holder;
}

}  // namespace

bool LockHolder::Alive() const { return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

std::string LockHolder::Describe() const {
    if (pid <= 0) return "another process";
    std::string text = "process " + std::to_string(pid);
    if (!what.empty()) text += " (" + what + ")";
    return text;
}

std::string LockPathFor(const std::string& path) {
    std::string resolved, error;
    if (!ResolveLinks(path, resolved, error)) resolved = path;
    return resolved + ".lock";
}

int LockTimeoutMs() {
    const char* v = std::getenv("QOB_LOCK_TIMEOUT_MS");
    if (!v || !*v) return kDefaultTimeoutMs;
    char* end = nullptr;
    const long ms = std::strtol(v, &end, 10);
    if (*end != '\0' || ms < 0 || ms > 24L * 3600 * 1000) return kDefaultTimeoutMs;
    return static_cast<int>(ms);
}

FileLock::Result FileLock::Acquire(const std::string& lockPath, const std::string& what, int timeoutMs,
                                   const std::function<bool(const LockHolder&)>& giveUp, LockHolder& holder,
                                   std::string& error) {
    Release();
    // No link is followed and nothing but a plain file is used, so the lock file cannot be made
    // to truncate some other file or to block on a pipe.
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
    if (fd < 0) {
        error = "cannot open the lock file " + lockPath + ": " + std::strerror(errno);
        return Result::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "the lock file " + lockPath + " is not a regular file";
        ::close(fd);
        return Result::Failed;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto pause = std::chrono::milliseconds(2);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) break;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) {
            error = "cannot lock " + lockPath + ": " + std::strerror(errno);
            ::close(fd);
            return Result::Failed;
        }
        holder = ReadHolder(fd);
        if (giveUp && giveUp(holder)) {
            ::close(fd);
            return Result::Busy;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            ::close(fd);
            return Result::TimedOut;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
    m_fd = fd;
    const std::string text = std::to_string(::getpid()) + " " + what + "\n";
    // Who holds the lock is for messages only: a failure here changes nothing else.
    if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, text.data(), text.size(), 0) != ssize_t(text.size()))
        Trace("The lock file could not name its holder\n");
    return Result::Locked;
}

void FileLock::Release() {
    if (m_fd < 0) return;
    // Nobody is named once the lock is free; a later holder writes itself anew.
    if (::ftruncate(m_fd, 0) != 0) Trace("The lock file could not be emptied\n");
    ::close(m_fd);
    m_fd = -1;
}

}  // namespace platform
