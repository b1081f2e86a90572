// The state file's lock between zentsim processes (the file's ".lock" beside it): a command that
// changes the state holds it for its read-change-write, `zentsim serve` for as long as it serves.
// A command waits for another command; it never waits for a server, whose state would overwrite
// its change: it is refused at once, naming the serving process.
#pragma once

#include <string>

#include "platform/FileLock.h"

namespace sim {

// What `zentsim serve` writes into the lock file as what it does.
inline constexpr const char* kServingLockText = "zentsim serve";

// Takes the lock of the state file `path` for `command` ("zentsim add"), then removes what a
// killed writer of the file left behind. False with a message when a server holds it, or when
// another command holds it longer than platform::LockTimeoutMs.
bool LockState(platform::FileLock& lock, const std::string& path, const std::string& command, std::string& error);

}  // namespace sim
