// Reading a state file and replacing it atomically (a complete new file renamed over the old).
#pragma once

#include <cstddef>
#include <string>

struct stat;

namespace sim {

// "what path: the errno text".
std::string SystemError(const std::string& what, const std::string& path);
// Opens path with `flags` (O_CLOEXEC, O_NOCTTY and O_NONBLOCK added; `mode` for a new file) and
// makes sure it is a regular file, whose status `st` then holds; -1 with "cannot `verb` path: ..."
// otherwise.
int OpenRegularFile(const std::string& path, int flags, unsigned mode, const char* verb, struct stat& st,
                    std::string& error);
// The whole file; false with a message naming the file and the system error.
bool ReadTextFile(const std::string& path, std::size_t maxSize, std::string& text, std::string& error);
// Writes text to a new file beside path (mode 0600) and renames it over path. The old file stays
// as it was when anything fails.
bool WriteFileAtomic(const std::string& path, const std::string& text, std::string& error);

}  // namespace sim
