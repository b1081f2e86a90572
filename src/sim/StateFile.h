// Reading a state file and replacing it atomically (a complete new file renamed over the old).
#pragma once

#include <cstddef>
#include <string>

namespace sim {

// The whole file; false with a message naming the file and the system error.
bool ReadTextFile(const std::string& path, std::size_t maxSize, std::string& text, std::string& error);
// Writes text to a new file beside path (mode 0600) and renames it over path. The old file stays
// as it was when anything fails.
bool WriteFileAtomic(const std::string& path, const std::string& text, std::string& error);

}  // namespace sim
