#include "sim/StateLock.h"

#include "platform/AtomicFile.h"

namespace sim {

bool LockState(platform::FileLock& lock, const std::string& path, const std::string& command, std::string& error) {
    const int timeoutMs = platform::LockTimeoutMs();
    platform::LockHolder holder;
    auto serving = [](const platform::LockHolder& h) { return h.what == kServingLockText && h.Alive(); };
    switch (lock.Acquire(platform::LockPathFor(path), command, timeoutMs, serving, holder, error)) {
        case platform::FileLock::Result::Locked:
            platform::RemoveLeftTemporaries(path);
            return true;
        case platform::FileLock::Result::Failed: return false;
        case platform::FileLock::Result::Busy:
            error = path + " is served by " + holder.Describe() + "; stop it before using the state file with " + command +
                    ".";
            return false;
        case platform::FileLock::Result::TimedOut: break;
    }
    error = path + " is being changed by " + holder.Describe() + ", which did not finish within " +
            std::to_string(timeoutMs) + " ms; nothing was changed.";
    return false;
}

}  // namespace sim
