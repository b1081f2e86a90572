// Files on this machine and on network shares, named as the program names them: a path that
// starts with two backslashes, a host and a share ("\\host\share\dir\file") is on a share,
// reached over SMB; any other path is on this machine, where backslashes and slashes both
// separate its parts. The relocation's directory utility and mailbox work run on these.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct FileEntry {
    std::string name;
    bool directory = false;
    uint64_t size = 0;
};

// Results of connecting to a share, numbered as the platform's network errors are.
constexpr int kConnectOk = 0;
constexpr int kConnectAccessDenied = 5;     // the account or its password was refused
constexpr int kConnectBadNetPath = 53;      // the host cannot be reached
constexpr int kConnectBadNetName = 67;      // the host has no such share
constexpr int kConnectInvalidPassword = 86;

// Connects to a share ("\\host\share") with an account ("user", "domain\user" or "user@domain")
// and its password; later operations on paths below it use them. A result above.
int ConnectShare(const std::string& sharePath, const std::string& account, const std::string& password);
// Forgets the share's account and closes what is open to its host; nothing when not connected.
void DisconnectShare(const std::string& sharePath);

// "path\*" (or "path/*"): the directory's entries, "." and ".." included; any other path: the one
// entry it names. False when nothing can be listed.
bool ListFiles(const std::string& pattern, std::vector<FileEntry>& entries);
bool MakeDirectory(const std::string& path);
// Copies a file, replacing one that is there; false (and no partial copy left) on any failure.
bool CopyFile(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);
// Why the last of these operations on this thread failed.
const std::string& FileErrorText();

// "\\host\share..." paths: the host and the share (empty when the path is not on a share).
bool SplitSharePath(const std::string& path, std::string& host, std::string& share, std::string& rest);

}  // namespace platform
