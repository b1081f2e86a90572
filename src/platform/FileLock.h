// An exclusive lock between processes that read, change and write the same file: a lock file
// beside it held with flock, so the kernel releases it when the holder exits however it ends.
// The holder writes its process id and what it does into the lock file, so one that finds the
// lock taken can say who has it.
#pragma once

#include <functional>
#include <string>

namespace platform {

// Who holds a lock, as the holder wrote it ("1234 qob-cli site add").
struct LockHolder {
    long pid = 0;      // 0 when the lock file names nobody (its holder has not written it yet)
    std::string what;  // what the holder does
    bool Alive() const;
    std::string Describe() const;  // "process 1234 (qob-cli site add)", or "another process"
};

// The lock file of a data file: beside the file its symbolic links lead to, named after it with
// ".lock" ("Plexar.xml.lock"), so every name of one file shares one lock.
std::string LockPathFor(const std::string& path);

// How long a command waits for a lock: QOB_LOCK_TIMEOUT_MS, default 30000 ms.
int LockTimeoutMs();

class FileLock {
public:
    enum class Result { Locked, Busy, TimedOut, Failed };

    FileLock() = default;
    ~FileLock() { Release(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Takes the lock of `lockPath` (the lock file is created, mode 0600, when missing), waiting up
    // to `timeoutMs`, and writes "PID what" into it. While the lock is taken, `giveUp` (when
    // given) sees its holder each time it is tried and ends the wait at once (Busy) by returning
    // true. TimedOut and Busy fill `holder`; Failed fills `error`.
    Result Acquire(const std::string& lockPath, const std::string& what, int timeoutMs,
                   const std::function<bool(const LockHolder&)>& giveUp, LockHolder& holder, std::string& error);
    void Release();
    bool Held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

}  // namespace platform
