// This machine's files: "\" and "/" both separate a path's parts.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/FileSystem.h"

namespace platform {
namespace {

std::string Native(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

bool Fail(const std::string& what, const std::string& path) { return FailWithErrno(what, path); }

class LocalReader final : public IFileReader {
public:
    explicit LocalReader(int fd) : m_fd(fd) {}
    ~LocalReader() override { ::close(m_fd); }
    long Read(uint8_t* buffer, size_t n) override {
        for (;;) {
            const ssize_t r = ::read(m_fd, buffer, n);
            if (r >= 0) return long(r);
            if (errno != EINTR) {
                SetFileError(std::string("read: ") + std::strerror(errno));
                return -1;
            }
        }
    }

private:
    int m_fd;
};

class LocalWriter final : public IFileWriter {
public:
    explicit LocalWriter(int fd) : m_fd(fd) {}
    ~LocalWriter() override {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool Write(const uint8_t* data, size_t n) override {
        while (n > 0) {
            const ssize_t w = ::write(m_fd, data, n);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                SetFileError(std::string("write: ") + std::strerror(errno));
                return false;
            }
            data += w;
            n -= size_t(w);
        }
        return true;
    }
    bool Close() override {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) == 0) return true;
        SetFileError(std::string("close: ") + std::strerror(errno));
        return false;
    }

private:
    int m_fd;
};

class Local final : public IFileSystem {
public:
    bool List(const std::string& pathIn, bool entries, std::vector<FileEntry>& out) override {
        const std::string path = Native(pathIn);
        struct stat st {};
        if (!entries) {
            if (::stat(path.c_str(), &st) != 0) return Fail("cannot find", path);
            out.push_back({LastPathPart(path), S_ISDIR(st.st_mode), uint64_t(st.st_size)});
            return true;
        }
        DIR* dir = ::opendir(path.c_str());
        if (!dir) return Fail("cannot list", path);
        while (const dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            FileEntry entry{name, false, 0};
            if (::fstatat(::dirfd(dir), e->d_name, &st, 0) == 0) {
                entry.directory = S_ISDIR(st.st_mode);
                entry.size = uint64_t(st.st_size);
            } else {
                entry.directory = e->d_type == DT_DIR;
            }
            out.push_back(std::move(entry));
        }
        ::closedir(dir);
        return true;
    }
    bool MakeDirectory(const std::string& pathIn) override {
        const std::string path = Native(pathIn);
        return ::mkdir(path.c_str(), 0777) == 0 || Fail("cannot create", path);
    }
    bool Remove(const std::string& pathIn) override {
        const std::string path = Native(pathIn);
        return ::unlink(path.c_str()) == 0 || Fail("cannot delete", path);
    }
    std::unique_ptr<IFileReader> OpenRead(const std::string& pathIn) override {
        const std::string path = Native(pathIn);
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            Fail("cannot open", path);
            return nullptr;
        }
        return std::make_unique<LocalReader>(fd);
    }
    std::unique_ptr<IFileWriter> OpenWrite(const std::string& pathIn) override {
        const std::string path = Native(pathIn);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            Fail("cannot write", path);
            return nullptr;
        }
        return std::make_unique<LocalWriter>(fd);
    }
};

}  // namespace

IFileSystem& LocalFiles() {
    static Local local;
    return local;
}

}  // namespace platform
