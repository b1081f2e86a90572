// Whole-file writes that never leave a cut file behind: the bytes go to a new file beside the
// target, are flushed to disk, and replace the target by rename only when complete. The target is
// the file a symbolic link names (the link stays), and it must be a regular file the user may
// write; a device, a pipe or a read-only file is refused, never replaced.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Writes all of data to fd, retrying after interruptions; false on any write error.
bool WriteAll(int fd, const char* data, size_t size);

// Replaces path with bytes, created with `mode`. False, with a message naming the file and the
// system's reason, when anything fails; the old file is then untouched and no temporary file is
// left behind.
bool WriteFileAtomic(const std::string& path, std::string_view bytes, mode_t mode, std::string& error);

// The permission bits of an existing file, or `fallback` when there is none.
mode_t ExistingMode(const std::string& path, mode_t fallback);

// The file that path stands for: path itself, or what its symbolic links lead to (the last one
// may name a file that does not exist yet). False after too many links.
bool ResolveLinks(const std::string& path, std::string& resolved, std::string& error);

// True when path does not exist or is a regular file (after its links); otherwise false with a
// message such as "Plexar.xml is not a regular file but a pipe". Readers call it before opening,
// so that a pipe or a device is never read or waited on.
bool IsRegularOrMissing(const std::string& path, std::string& error);

// Removes the temporary files that writes of path (after its links) left when the process was
// killed before it could clean up. Only safe while no other process writes path: callers hold
// the path's lock (FileLock). Returns how many were removed.
int RemoveLeftTemporaries(const std::string& path);

}  // namespace platform
