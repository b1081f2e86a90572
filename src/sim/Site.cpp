#include "sim/Site.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <tuple>

#include "platform/AtomicFile.h"
#include "platform/Trace.h"
#include "sim/ChangeLog.h"
#include "sim/Dump.h"
#include "sim/StateCodec.h"
#include "sim/StateFile.h"

namespace sim {

namespace {

void SyncDirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // the log's creation or removal survives a power cut; nothing to do when it fails
    ::close(fd);
}

// What tells one state file from the one a fold renames over it.
struct FileIdentity {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    bool operator==(const FileIdentity& o) const {
        return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec;
    }
};

FileIdentity IdentityOf(const std::string& path) {
    struct stat st {};
    FileIdentity id;
    if (::stat(path.c_str(), &st) != 0) return id;
    id = {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    return id;
}

// The new value of everything a request touched, each once.
std::vector<LogChange> ChangesOf(const SiteState& s, const std::vector<Touch>& touches) {
    std::vector<LogChange> out;
    std::set<std::tuple<TouchKind, std::string, std::pair<int32_t, int32_t>>> seen;
    for (const Touch& t : touches) {
        if (!seen.emplace(t.kind, t.number, t.item).second) continue;
        LogChange c;
        c.number = t.number;
        c.item = t.item;
        switch (t.kind) {
        case TouchKind::Record:
            if (const Stored* r = s.FindRecord(t.number)) {
                c.kind = LogKind::PutRecord;
                c.bytes = r->bytes;
            } else {
                c.kind = LogKind::RemoveRecord;
            }
            break;
        case TouchKind::Workgroup:
            if (const Stored* w = s.FindWorkgroup(t.number)) {
                c.kind = LogKind::PutWorkgroup;
                c.bytes = w->bytes;
            } else {
                c.kind = LogKind::RemoveWorkgroup;
            }
            break;
        case TouchKind::ExtData:
            if (auto it = s.extData.find(t.number); it != s.extData.end()) {
                c.kind = LogKind::PutExtData;
                c.tag = it->second.tag;
                c.bytes = it->second.bytes;
            } else {
                c.kind = LogKind::RemoveExtData;
            }
            break;
        case TouchKind::OnaData:
            if (auto it = s.onaData.find(t.number); it != s.onaData.end()) {
                c.kind = LogKind::PutOnaData;
                c.bytes = it->second;
            } else {
                c.kind = LogKind::RemoveOnaData;
            }
            break;
        case TouchKind::Item:
            if (auto it = s.items.find(t.item); it != s.items.end()) {
                c.kind = LogKind::PutItem;
                c.bytes = it->second;
            } else {
                c.kind = LogKind::RemoveItem;
            }
            break;
        case TouchKind::Mailbox:
            c.kind = LogKind::Mailbox;
            c.mailbox = s.mailbox;
            break;
        }
        out.push_back(std::move(c));
    }
    return out;
}

}  // namespace

Site::Site(SiteState state, std::string path) : m_state(std::move(state)), m_path(std::move(path)) {
    if (m_path.empty()) return;
    // Beside the file the state file's links lead to, as its lock and its temporary files are.
    std::string resolved, error;
    if (!platform::ResolveLinks(m_path, resolved, error)) resolved = m_path;
    m_logPath = resolved + std::string(kLogSuffix);
}

Site::~Site() {
    if (m_logFd >= 0) ::close(m_logFd);
}

bool Site::Load(std::string& error) {
    // A server may fold the log while this reads: the state file is then renamed over before
    // the log goes, so reading both again gives what the server holds. A log read beside a state
    // that holds its changes already replays to the same state.
    for (int attempt = 0;; ++attempt) {
        const FileIdentity before = IdentityOf(m_path);
        std::string text;
        if (!ReadTextFile(m_path, kMaxStateText, text, error)) return false;
        SiteState state;
        if (!ParseState(text, state, error)) {
            error = m_path + ": " + error;
            return false;
        }
        std::string log, logError;
        LogScan scan;
        bool ok = true;
        struct stat st {};
        if (::stat(m_logPath.c_str(), &st) == 0 || errno != ENOENT) {
            ok = ReadTextFile(m_logPath, kMaxLogFile, log, logError);  // its message names the file
            if (ok && !ScanLog(log, scan, logError)) {
                logError = m_logPath + ": " + logError;
                ok = false;
            } else if (ok) {
                for (const auto& payload : scan.payloads) {
                    std::vector<LogChange> changes;
                    const std::size_t offset = std::size_t(reinterpret_cast<const char*>(payload.data()) - log.data()) - kLogFrameSize;
                    if (!DecodeLogPayload(payload, changes, logError) || !ApplyLogChanges(state, changes, logError)) {
                        logError = m_logPath + ": offset " + std::to_string(offset) + ": " + logError;
                        ok = false;
                        break;
                    }
                }
            }
        }
        if (!(IdentityOf(m_path) == before) && attempt < 50) continue;
        if (!ok) {
            error = logError;
            return false;
        }
        m_state = std::move(state);
        m_stateBytes = text.size();
        m_logBytes = scan.payloads.empty() ? 0 : scan.validLength;
        return true;
    }
}

std::shared_ptr<Site> Site::Open(const std::string& path, std::string& error) {
    auto site = std::make_shared<Site>(SiteState{}, path);
    if (!site->Load(error)) return nullptr;
    return site;
}

std::shared_ptr<Site> Site::FromJson(std::string_view text, std::string& error) {
    SiteState state;
    if (!ParseState(text, state, error)) return nullptr;
    return std::make_shared<Site>(std::move(state));
}

std::shared_ptr<Site> Site::Create(SiteState state, const std::string& path, bool overwrite, std::string& error) {
    struct stat st {};
    if (!overwrite && ::stat(path.c_str(), &st) == 0) {
        error = path + " exists already";
        return nullptr;
    }
    auto site = std::make_shared<Site>(std::move(state), path);
    std::lock_guard lock(site->m_mutex);
    // The log of a state file replaced goes first: it must never be replayed over the new one.
    if (!site->DropLog(error) || !site->Save(error)) return nullptr;
    return site;
}

bool Site::Save(std::string& error) {
    if (m_path.empty()) return true;
    try {
        const std::string text = SerializeState(m_state);
        // The next start would refuse it, and the site with it.
        if (text.size() > kMaxStateText) {
            error = "cannot save " + m_path + ": the state would take " + std::to_string(text.size()) +
                    " bytes, more than the " + std::to_string(kMaxStateText) + " a state file may hold";
            return false;
        }
        if (!WriteFileAtomic(m_path, text, error)) return false;
        m_stateBytes = text.size();
        // Only once the new state file is on disk: a log left by a crash here replays to the same state.
        return DropLog(error);
    } catch (const std::exception& e) {
        error = "cannot save " + m_path + ": " + e.what();
    }
    return false;
}

bool Site::DropLog(std::string& error) {
    if (m_logFd >= 0) {
        ::close(m_logFd);
        m_logFd = -1;
    }
    m_logBytes = 0;
    if (m_logPath.empty()) return true;
    if (::unlink(m_logPath.c_str()) != 0) {
        if (errno == ENOENT) return true;
        error = SystemError("cannot remove", m_logPath);
        return false;
    }
    SyncDirectoryOf(m_logPath);
    return true;
}

bool Site::OpenLogForAppend(std::string& error) {
    struct stat st {};
    const int fd =
        OpenRegularFile(m_logPath, O_RDWR | O_CREAT, platform::ExistingMode(m_path, 0644), "write", st, error);
    if (fd < 0) return false;
    bool ok = true;
    if (m_logBytes < kLogHeaderSize) {
        // A new log, or one that held no whole entry.
        const std::string header = LogHeader();
        ok = ::ftruncate(fd, 0) == 0 && ::pwrite(fd, header.data(), header.size(), 0) == ssize_t(header.size()) &&
             ::fsync(fd) == 0;
        if (ok) {
            SyncDirectoryOf(m_logPath);
            m_logBytes = header.size();
        }
    } else if (std::size_t(st.st_size) != m_logBytes) {
        // The end of a write that was never finished (nor acknowledged) goes.
        ok = ::ftruncate(fd, off_t(m_logBytes)) == 0;
    }
    if (!ok) {
        error = SystemError("cannot write", m_logPath);
        ::close(fd);
        return false;
    }
    m_logFd = fd;
    return true;
}

bool Site::AppendLog(const std::string& entry, std::string& error) {
    if (m_logFd < 0 && !OpenLogForAppend(error)) return false;
    std::size_t done = 0;
    while (done < entry.size()) {
        const ssize_t n = ::pwrite(m_logFd, entry.data() + done, entry.size() - done, off_t(m_logBytes + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += std::size_t(n);
    }
    if (done == entry.size() && ::fdatasync(m_logFd) == 0) {
        m_logBytes += entry.size();
        return true;
    }
    error = SystemError("cannot write", m_logPath);
    // Whatever reached the file is not a change: the next append starts where it started.
    if (::ftruncate(m_logFd, off_t(m_logBytes)) != 0) {
        ::close(m_logFd);
        m_logFd = -1;
    }
    return false;
}

com::HRESULT Site::Commit(UndoLog& undo) {
    if (m_path.empty() || undo.Touches().empty()) return com::S_OK;
    std::string error;
    bool ok = false;
    try {
        const std::string entry = EncodeLogEntry(ChangesOf(m_state, undo.Touches()));
        // An entry the reader would refuse (a text beyond its limits) is never written: the whole
        // state is, as before there was a log.
        std::vector<LogChange> check;
        std::string refused;
        const auto payload = std::span(reinterpret_cast<const uint8_t*>(entry.data()), entry.size()).subspan(kLogFrameSize);
        if (payload.size() <= kMaxLogPayload && DecodeLogPayload(payload, check, refused)) ok = AppendLog(entry, error);
        else ok = Save(error);
    } catch (const std::exception& e) {
        error = "cannot save " + m_path + ": " + e.what();
    }
    if (!ok) {
        undo.Rollback();
        m_lastSaveError = error;
        platform::TraceF("zentsim: %s", error.c_str());
        return kSaveFailed;
    }
    // The change is on disk now; a fold that fails is tried again after the next change.
    if (m_logBytes > LogLimit() && !Save(error)) {
        m_lastSaveError = error;
        platform::TraceF("zentsim: %s", error.c_str());
    }
    return com::S_OK;
}

bool Site::Fold(std::string& error) {
    std::lock_guard lock(m_mutex);
    if (m_logBytes == 0) return true;
    return Save(error);
}

void Site::SetLogFloor(std::size_t floorBytes) {
    std::lock_guard lock(m_mutex);
    m_logFloor = floorBytes;
}

std::size_t Site::LogLimit() const { return std::max(m_logFloor, m_stateBytes / 2); }

std::size_t Site::LogBytes() const {
    std::lock_guard lock(m_mutex);
    return m_logBytes;
}

bool Site::Modify(const std::function<bool(SiteState&, std::string&)>& change, std::string& error) {
    std::lock_guard lock(m_mutex);
    return change(m_state, error) && Save(error);
}

bool Site::SetMethodFault(std::string_view method, std::optional<MethodFault> fault, std::string& error) {
    if (!IsNamedMethod(method)) {
        error = "\"" + std::string(method) + "\" is not a named method of the server interfaces";
        return false;
    }
    std::lock_guard lock(m_mutex);
    if (fault) m_state.faults.methods[std::string(method)] = *fault;
    else if (auto it = m_state.faults.methods.find(method); it != m_state.faults.methods.end()) m_state.faults.methods.erase(it);
    if (auto it = m_callCounts.find(method); it != m_callCounts.end()) it->second = 0;
    return Save(error);
}

std::optional<MethodFault> Site::CountCall(std::string_view method) {
    auto count = m_callCounts.find(method);
    if (count == m_callCounts.end()) count = m_callCounts.emplace(std::string(method), 0).first;
    const uint64_t n = ++count->second;
    auto fault = m_state.faults.methods.find(method);
    if (fault == m_state.faults.methods.end() || n <= fault->second.after) return std::nullopt;
    return fault->second;
}

void Site::Journal(std::string_view method, com::HRESULT result) {
    if (m_journal.size() >= kJournalLimit) m_journal.pop_front();
    m_journal.push_back({std::string(method), result});
    if (m_journalFile.empty()) return;
    if (std::FILE* f = std::fopen(m_journalFile.c_str(), "a")) {
        std::fprintf(f, "%.*s 0x%08X\n", int(method.size()), method.data(), static_cast<unsigned>(result));
        std::fclose(f);
    }
}

uint32_t Site::DelayMs() const {
    std::lock_guard lock(m_mutex);
    return m_state.faults.delayMs;
}

std::vector<CallRecord> Site::Calls() const {
    std::lock_guard lock(m_mutex);
    return {m_journal.begin(), m_journal.end()};
}

void Site::ClearCalls() {
    std::lock_guard lock(m_mutex);
    m_journal.clear();
}

std::string Site::LastSaveError() const {
    std::lock_guard lock(m_mutex);
    return m_lastSaveError;
}

std::string Site::DumpText() const {
    std::lock_guard lock(m_mutex);
    return DumpState(m_state).dump(2, ' ', false, nlohmann::detail::error_handler_t::replace) + "\n";
}

}  // namespace sim
