// Files on SMB shares through libsmbclient. A share's account is kept from ConnectShare until
// DisconnectShare and handed to the library whenever it asks for the share's (or its host's)
// credentials; anonymous logins are never tried, so a wrong password cannot pass for a missing
// share. QOB_SMB_PORT moves the port the shares are reached on (tests, servers off 445).
#include <fcntl.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/FileSystem.h"
#include "platform/SmbLibrary.h"

namespace platform {
namespace {

struct Credentials {
    std::string domain, user, password;
};

std::mutex g_mutex;  // the library's context is not safe for several threads at once
std::map<std::string, Credentials> g_credentials;  // by "host/share", in lower case

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

void Copy(const std::string& from, char* to, int size) {
    if (size <= 0) return;
    const size_t n = std::min(from.size(), size_t(size) - 1);
    std::memcpy(to, from.data(), n);
    to[n] = '\0';
}

void Authenticate(SMBCCTX*, const char* server, const char* share, char* workgroup, int workgroupLength, char* user,
                  int userLength, char* password, int passwordLength) {
    const std::string host = Lower(server ? server : "");
    auto it = g_credentials.find(host + "/" + Lower(share ? share : ""));
    if (it == g_credentials.end()) {
        // A request for the host itself: any share's account of that host.
        it = g_credentials.lower_bound(host + "/");
        if (it != g_credentials.end() && it->first.compare(0, host.size() + 1, host + "/") != 0) it = g_credentials.end();
    }
    if (it == g_credentials.end()) return;
    Copy(it->second.domain, workgroup, workgroupLength);
    Copy(it->second.user, user, userLength);
    Copy(it->second.password, password, passwordLength);
}

std::string g_clientError;  // why there is no SMB client, when there is none

// The library's entry points; only called once Context() gave a context.
const SmbLibrary& Lib() {
    std::string ignored;
    return *SmbClient(ignored);
}

SMBCCTX* Context() {
    static SMBCCTX* ctx = [] {
        const SmbLibrary* lib = SmbClient(g_clientError);
        if (!lib) return static_cast<SMBCCTX*>(nullptr);
        SMBCCTX* c = lib->smbc_new_context();
        if (!c) {
            g_clientError = "the SMB client has no memory for its context";
            return c;
        }
        lib->smbc_setDebug(c, 0);
        lib->smbc_setOptionNoAutoAnonymousLogin(c, 1);
        lib->smbc_setFunctionAuthDataWithContext(c, Authenticate);
        lib->smbc_setTimeout(c, 15000);
        if (!lib->smbc_init_context(c)) {
            lib->smbc_free_context(c, 1);
            g_clientError = "the SMB client cannot start";
            return static_cast<SMBCCTX*>(nullptr);
        }
        return c;
    }();
    return ctx;
}

void PurgeConnections(SMBCCTX* ctx) {
    if (ctx) Lib().smbc_getFunctionPurgeCachedServers(ctx)(ctx);
}

std::string Encode(const std::string& part) {
    static const char* kHex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : part) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += char(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

// "smb://host[:port]/share/a/b" for "\\host\share\a\b".
std::string Url(const std::string& host, const std::string& share, const std::string& rest) {
    std::string url = "smb://" + host;
    if (const char* port = std::getenv("QOB_SMB_PORT"); port && *port && std::strcmp(port, "445") != 0)
        url += ":" + std::string(port);
    url += "/" + Encode(share);
    size_t start = 0;
    while (start < rest.size()) {
        size_t end = rest.find_first_of("\\/", start);
        if (end == std::string::npos) end = rest.size();
        if (end > start) url += "/" + Encode(rest.substr(start, end - start));
        start = end + 1;
    }
    return url;
}

bool UrlOf(const std::string& path, std::string& url, std::string* rest = nullptr) {
    std::string host, share, r;
    if (!SplitSharePath(path, host, share, r)) {
        SetFileError("not a share path: " + path);
        return false;
    }
    url = Url(host, share, r);
    if (rest) *rest = r;
    return true;
}

bool Fail(const std::string& what, const std::string& path) { return FailWithErrno(what, path); }

bool NoClient(const std::string& path) {
    SetFileError("no SMB client for " + path + ": " + g_clientError);
    return false;
}

class SmbReader final : public IFileReader {
public:
    SmbReader(SMBCCTX* ctx, SMBCFILE* file) : m_ctx(ctx), m_file(file) {}
    ~SmbReader() override {
        std::lock_guard lock(g_mutex);
        Lib().smbc_getFunctionClose(m_ctx)(m_ctx, m_file);
    }
    long Read(uint8_t* buffer, size_t n) override {
        std::lock_guard lock(g_mutex);
        const ssize_t r = Lib().smbc_getFunctionRead(m_ctx)(m_ctx, m_file, buffer, n);
        if (r < 0) SetFileError(std::string("read: ") + std::strerror(errno));
        return long(r);
    }

private:
    SMBCCTX* m_ctx;
    SMBCFILE* m_file;
};

class SmbWriter final : public IFileWriter {
public:
    SmbWriter(SMBCCTX* ctx, SMBCFILE* file) : m_ctx(ctx), m_file(file) {}
    ~SmbWriter() override {
        if (m_file) Close();
    }
    bool Write(const uint8_t* data, size_t n) override {
        std::lock_guard lock(g_mutex);
        while (n > 0) {
            const ssize_t w = Lib().smbc_getFunctionWrite(m_ctx)(m_ctx, m_file, data, n);
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
        std::lock_guard lock(g_mutex);
        SMBCFILE* file = m_file;
        m_file = nullptr;
        if (Lib().smbc_getFunctionClose(m_ctx)(m_ctx, file) == 0) return true;
        SetFileError(std::string("close: ") + std::strerror(errno));
        return false;
    }

private:
    SMBCCTX* m_ctx;
    SMBCFILE* m_file;
};

class Smb final : public IFileSystem {
public:
    bool List(const std::string& path, bool entries, std::vector<FileEntry>& out) override {
        std::string url, rest;
        if (!UrlOf(path, url, &rest)) return false;
        std::lock_guard lock(g_mutex);
        SMBCCTX* ctx = Context();
        if (!ctx) return NoClient(path);
        if (!entries && !rest.empty()) {
            struct stat st {};
            if (Lib().smbc_getFunctionStat(ctx)(ctx, url.c_str(), &st) != 0) return Fail("cannot find", path);
            out.push_back({LastPathPart(path), S_ISDIR(st.st_mode), uint64_t(st.st_size)});
            return true;
        }
        // A directory's entries, or the share itself (which counts as a directory when it lists).
        SMBCFILE* dir = Lib().smbc_getFunctionOpendir(ctx)(ctx, url.c_str());
        if (!dir) return Fail("cannot list", path);
        if (!entries) {
            Lib().smbc_getFunctionClosedir(ctx)(ctx, dir);
            out.push_back({LastPathPart(path), true, 0});
            return true;
        }
        bool dot = false, dotdot = false;
        struct stat st {};
        while (const libsmb_file_info* info = Lib().smbc_getFunctionReaddirPlus2(ctx)(ctx, dir, &st)) {
            FileEntry e{info->name ? info->name : "", S_ISDIR(st.st_mode), uint64_t(st.st_size)};
            dot = dot || e.name == ".";
            dotdot = dotdot || e.name == "..";
            out.push_back(std::move(e));
        }
        Lib().smbc_getFunctionClosedir(ctx)(ctx, dir);
        // A share's root lists without them; a listable directory has both.
        if (!dotdot) out.insert(out.begin(), {"..", true, 0});
        if (!dot) out.insert(out.begin(), {".", true, 0});
        return true;
    }
    bool MakeDirectory(const std::string& path) override {
        std::string url;
        if (!UrlOf(path, url)) return false;
        std::lock_guard lock(g_mutex);
        SMBCCTX* ctx = Context();
        if (!ctx) return NoClient(path);
        return (Lib().smbc_getFunctionMkdir(ctx)(ctx, url.c_str(), 0777) == 0) || Fail("cannot create", path);
    }
    bool Remove(const std::string& path) override {
        std::string url;
        if (!UrlOf(path, url)) return false;
        std::lock_guard lock(g_mutex);
        SMBCCTX* ctx = Context();
        if (!ctx) return NoClient(path);
        return (Lib().smbc_getFunctionUnlink(ctx)(ctx, url.c_str()) == 0) || Fail("cannot delete", path);
    }
    std::unique_ptr<IFileReader> OpenRead(const std::string& path) override {
        std::string url;
        if (!UrlOf(path, url)) return nullptr;
        std::lock_guard lock(g_mutex);
        SMBCCTX* ctx = Context();
        if (!ctx) {
            NoClient(path);
            return nullptr;
        }
        SMBCFILE* f = Lib().smbc_getFunctionOpen(ctx)(ctx, url.c_str(), O_RDONLY, 0);
        if (!f) {
            Fail("cannot open", path);
            return nullptr;
        }
        return std::make_unique<SmbReader>(ctx, f);
    }
    std::unique_ptr<IFileWriter> OpenWrite(const std::string& path) override {
        std::string url;
        if (!UrlOf(path, url)) return nullptr;
        std::lock_guard lock(g_mutex);
        SMBCCTX* ctx = Context();
        if (!ctx) {
            NoClient(path);
            return nullptr;
        }
        SMBCFILE* f = Lib().smbc_getFunctionOpen(ctx)(ctx, url.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (!f) {
            Fail("cannot write", path);
            return nullptr;
        }
        return std::make_unique<SmbWriter>(ctx, f);
    }
};

// "domain\user" and "user@domain" name the domain; a bare name has none.
Credentials Split(const std::string& account, const std::string& password) {
    Credentials c;
    c.password = password;
    if (const size_t slash = account.find('\\'); slash != std::string::npos) {
        c.domain = account.substr(0, slash);
        c.user = account.substr(slash + 1);
    } else if (const size_t at = account.rfind('@'); at != std::string::npos) {
        c.user = account.substr(0, at);
        c.domain = account.substr(at + 1);
    } else {
        c.user = account;
    }
    return c;
}

}  // namespace

IFileSystem& SmbFiles() {
    static Smb smb;
    return smb;
}

int SmbConnect(const std::string& host, const std::string& share, const std::string& account,
               const std::string& password) {
    const std::string key = Lower(host) + "/" + Lower(share);
    const std::string url = Url(host, share, {});
    std::lock_guard lock(g_mutex);
    SMBCCTX* ctx = Context();
    if (!ctx) {
        SetFileError("cannot connect to \\\\" + host + "\\" + share + ": " + g_clientError);
        return kConnectBadNetPath;
    }
    g_credentials[key] = Split(account, password);
    // A connection made with the share's previous account must not be reused.
    PurgeConnections(ctx);
    SMBCFILE* dir = Lib().smbc_getFunctionOpendir(ctx)(ctx, url.c_str());
    if (dir) {
        Lib().smbc_getFunctionClosedir(ctx)(ctx, dir);
        return kConnectOk;
    }
    const int error = errno;
    SetFileError("cannot connect to \\\\" + host + "\\" + share + ": " + std::strerror(error));
    g_credentials.erase(key);
    PurgeConnections(ctx);
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO: return kConnectBadNetName;
    case EACCES:
    case EPERM: return kConnectAccessDenied;
    default: return kConnectBadNetPath;
    }
}

void SmbDisconnect(const std::string& host, const std::string& share) {
    std::lock_guard lock(g_mutex);
    if (g_credentials.erase(Lower(host) + "/" + Lower(share)) == 0) return;
    PurgeConnections(Context());
}

}  // namespace platform
