// Whole-file writes that never leave a cut file behind: the bytes go to a new file beside the
// target, are flushed to disk, and replace the target by rename only when complete.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Writes all of data to fd, retrying after interruptions; false on any write error.
bool WriteAll(int fd, const char* data, size_t size);

// Replaces path with bytes, created with `mode`. False, with a message naming the file and the
// system's reason, when anything fails; the old file is then untouched.
bool WriteFileAtomic(const std::string& path, std::string_view bytes, mode_t mode, std::string& error);

// The permission bits of an existing file, or `fallback` when there is none.
mode_t ExistingMode(const std::string& path, mode_t fallback);

}  // namespace platform
