#include "document/ChangeJournal.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include <nlohmann/json.hpp>

#include "document/JournalFormat.h"
#include "platform/AtomicFile.h"

namespace document {
namespace {

using Json = nlohmann::json;

std::string Reason(const std::string& path, const char* what) {
    return "The change journal " + path + " cannot be " + what + ": " + std::strerror(errno) +
           ". Nothing is sent to the sites while it cannot be written.";
}

}  // namespace

std::string JournalUser() {
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_name) return pw->pw_name;
    return "uid " + std::to_string(::getuid());
}

std::string JournalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

CChangeJournal::CChangeJournal(std::string path, Limits limits) : m_path(std::move(path)), m_limits(limits) {}

CChangeJournal::~CChangeJournal() {
    if (m_fd >= 0) ::close(m_fd);
}

std::string CChangeJournal::Failure() const {
    std::lock_guard lock(m_mutex);
    return m_failure;
}

// Cuts the file back to the end of its last whole line. A cut line was never written whole, so
// what it stood for was never sent (a change is sent only after its line is on disk).
static bool CutTornTail(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    off_t end = st.st_size;
    char chunk[4096];
    while (end > 0) {
        const off_t from = end > off_t(sizeof chunk) ? end - off_t(sizeof chunk) : 0;
        const ssize_t n = ::pread(fd, chunk, size_t(end - from), from);
        if (n != end - from) return false;
        for (ssize_t i = n; i > 0; --i)
            if (chunk[i - 1] == '\n') {
                const off_t whole = from + i;
                return whole == st.st_size || ::ftruncate(fd, whole) == 0;
            }
        end = from;
    }
    return st.st_size == 0 || ::ftruncate(fd, 0) == 0;
}

bool CChangeJournal::Rotate(std::string& error) {
    JournalContents contents;
    std::string why;
    if (!ReadJournalFile(m_path, contents, why)) {
        error = "The change journal " + why + ". Nothing is sent to the sites while it cannot be written.";
        return false;
    }
    for (const JournalCommand& c : contents.commands) m_id = std::max(m_id, c.id);
    struct stat st {};
    const uint64_t size = ::stat(m_path.c_str(), &st) == 0 ? uint64_t(st.st_size) : 0;
    if (size <= m_limits.maxBytes && contents.commands.size() < m_limits.maxCommands && contents.version != 0)
        return true;
    if (size == 0 && contents.commands.empty()) {
        // A new journal: its header first.
        const std::string header = Json{{"format", kJournalFormat}, {"version", kJournalVersion}}.dump() + "\n";
        if (!platform::WriteFileAtomic(m_path, header, 0600, why)) {
            error = "The change journal cannot be written: " + why;
            return false;
        }
        return true;
    }
    // Newest first, as many whole commands as fit in half the limits.
    std::vector<uint64_t> keep;
    uint64_t bytes = 0;
    for (auto it = contents.commands.rbegin(); it != contents.commands.rend(); ++it) {
        uint64_t own = 0;
        for (const std::string& line : contents.lines[it->id]) own += line.size() + 1;
        if (keep.size() + 1 > m_limits.maxCommands / 2 || bytes + own > m_limits.maxBytes / 2) break;
        bytes += own;
        keep.push_back(it->id);
    }
    std::string text = Json{{"format", kJournalFormat}, {"version", kJournalVersion}}.dump() + "\n";
    for (auto it = keep.rbegin(); it != keep.rend(); ++it)
        for (const std::string& line : contents.lines[*it]) text += line + "\n";
    if (!platform::WriteFileAtomic(m_path, text, 0600, why)) {
        error = "The change journal cannot be written: " + why;
        return false;
    }
    return true;
}

bool CChangeJournal::Begin(const JournalCommandInfo& info, std::string& error) {
    std::lock_guard lock(m_mutex);
    if (!Rotate(error)) return false;
    m_fd = ::open(m_path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | O_NOCTTY);
    if (m_fd < 0) {
        error = Reason(m_path, "opened");
        return false;
    }
    // A program killed while writing left part of a line: the next entry written after it would
    // be lost with it (a command's own line among them, and with it all its changes).
    if (!CutTornTail(m_fd)) {
        error = Reason(m_path, "written");
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    ::fchmod(m_fd, 0600);  // it holds password hashes
    ++m_id;
    Json j{{"entry", "command"}, {"cmd", m_id},        {"time", JournalTime()},   {"user", JournalUser()},
           {"kind", info.kind},  {"action", info.action}, {"sites", info.sites}, {"numbers", info.numbers}};
    if (!info.homes.empty()) j["homes"] = info.homes;
    if (!info.scope.empty()) j["scope"] = info.scope;
    if (info.of) j["of"] = info.of;
    return Append(j.dump(), true, error);
}

bool CChangeJournal::Append(const std::string& line, bool sync, std::string& error) {
    if (m_fd < 0) {
        error = "The change journal " + m_path + " is not open. Nothing is sent to the sites.";
        return false;
    }
    const std::string text = line + "\n";
    if (!platform::WriteAll(m_fd, text.data(), text.size()) || (sync && ::fdatasync(m_fd) != 0)) {
        error = Reason(m_path, "written");
        if (m_failure.empty()) m_failure = error;
        return false;
    }
    return true;
}

bool CChangeJournal::Before(const server::JournalChange& change, uint64_t& entry, std::string& error) {
    std::lock_guard lock(m_mutex);
    entry = ++m_seq;
    Json j{{"entry", "change"},
           {"cmd", m_id},
           {"seq", entry},
           {"time", JournalTime()},
           {"site", std::string(change.site)},
           {"number", std::string(change.number)},
           {"method", std::string(change.method)},
           {"sent", HexBytes(change.sent.data(), change.sent.size())}};
    if (!change.before.empty()) j["before"] = HexBytes(change.before.data(), change.before.size());
    if (!Append(j.dump(), true, error)) return false;
    m_sent[entry].assign(change.sent.begin(), change.sent.end());
    return true;
}

void CChangeJournal::After(uint64_t entry, int32_t hr, bool lost, std::span<const uint8_t> answer) {
    std::lock_guard lock(m_mutex);
    const char* result = hr == 0 ? "applied" : lost ? "uncertain" : "refused";
    Json j{{"entry", "answer"}, {"cmd", m_id}, {"seq", entry}, {"result", result}, {"hr", uint32_t(hr)}};
    auto sent = m_sent.find(entry);
    if (hr == 0 && sent != m_sent.end() &&
        !std::equal(sent->second.begin(), sent->second.end(), answer.begin(), answer.end()))
        j["answer"] = HexBytes(answer.data(), answer.size());
    if (sent != m_sent.end()) m_sent.erase(sent);
    std::string error;
    // Not synced: a crash before the next sync leaves the change without its answer, which
    // recovery then treats as one that may have been applied.
    Append(j.dump(), false, error);
}

void CChangeJournal::Number(std::string_view number, std::string_view result) {
    std::lock_guard lock(m_mutex);
    std::string error;
    Append(Json{{"entry", "number"}, {"cmd", m_id}, {"number", std::string(number)}, {"result", std::string(result)}}.dump(),
           false, error);
}

void CChangeJournal::End(std::string_view result) {
    std::lock_guard lock(m_mutex);
    std::string error;
    Append(Json{{"entry", "end"}, {"cmd", m_id}, {"time", JournalTime()}, {"result", std::string(result)}}.dump(), true,
           error);
}

}  // namespace document
