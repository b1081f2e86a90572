// What FileShares needs of a kind of file system: this machine's, or SMB shares'.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileShares.h"

namespace platform {

class IFileReader {
public:
    virtual ~IFileReader() = default;
    // Bytes read (0 at the end), or -1.
    virtual long Read(uint8_t* buffer, size_t n) = 0;
};

class IFileWriter {
public:
    virtual ~IFileWriter() = default;
    virtual bool Write(const uint8_t* data, size_t n) = 0;
    virtual bool Close() = 0;
};

class IFileSystem {
public:
    virtual ~IFileSystem() = default;
    virtual bool List(const std::string& path, bool entries, std::vector<FileEntry>& out) = 0;
    virtual bool MakeDirectory(const std::string& path) = 0;
    virtual bool Remove(const std::string& path) = 0;
    virtual std::unique_ptr<IFileReader> OpenRead(const std::string& path) = 0;
    virtual std::unique_ptr<IFileWriter> OpenWrite(const std::string& path) = 0;
};

IFileSystem& LocalFiles();
IFileSystem& SmbFiles();
int SmbConnect(const std::string& host, const std::string& share, const std::string& account,
               const std::string& password);
void SmbDisconnect(const std::string& host, const std::string& share);

// Sets this thread's text of the last file failure (FileErrorText).
void SetFileError(std::string text);
// Sets it to what failed, the path and errno's text; false.
bool FailWithErrno(const std::string& what, const std::string& path);
// The last part of a path ("\" and "/" both separate parts).
std::string LastPathPart(const std::string& path);

}  // namespace platform
