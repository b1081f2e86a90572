// The directory utility of the mailbox work, on the program's paths (shares and local files).
#pragma once

#include <cstdint>
#include <string>

namespace relocation {

bool DirExists(const std::string& path);
// Creates the directory and whatever parents it lacks; a share's root counts as existing.
bool CreateDirTree(const std::string& path);
// Copies the tree below `from` into `to` (created when missing: up to `retries` attempts, 500 ms
// apart), every file with up to `retries` attempts; directories whose names start with "." are left
// out. The walk never stops at a failure; false when anything was not copied, with the first
// reason in `why`.
bool CopyDirTree(const std::string& from, const std::string& to, int retries, std::string& why);
// Kilobytes of the files below `path`, each directory's bytes rounded down on their own; 0 when
// the directory is not there.
int32_t GetDirSizeKB(const std::string& path);

}  // namespace relocation
