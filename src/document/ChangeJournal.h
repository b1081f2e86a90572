// The change journal a command writes while it changes sites: its own entry first, then every
// change before it is sent (on disk, synced, before the call) and the site's answer after, the
// outcome of each number, and the command's end. Connections on several threads write at once.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "server/ChangeJournal.h"

namespace document {

struct JournalCommandInfo {
    std::string kind;    // "sync", "delete", "undo", "retry"
    std::string action;  // what the user asked, as words
    std::vector<std::string> sites;
    std::vector<std::string> numbers;
    std::map<std::string, std::string> homes;
    std::string scope;
    uint64_t of = 0;
};

// The oldest commands are dropped, whole, when the journal grows past either limit.
struct JournalLimits {
    uint64_t maxBytes = 64ull << 20;
    uint32_t maxCommands = 200;
};

class CChangeJournal final : public server::IChangeJournal {
public:
    using Limits = JournalLimits;

    explicit CChangeJournal(std::string path, Limits limits = {});
    ~CChangeJournal();
    CChangeJournal(const CChangeJournal&) = delete;
    CChangeJournal& operator=(const CChangeJournal&) = delete;

    // Opens the journal (created owner-only), drops the oldest commands when it is over its
    // limits, and writes the command's entry. False with a message naming the file when any of
    // it fails: the command must then send nothing.
    bool Begin(const JournalCommandInfo& info, std::string& error);
    // How a number ended ("done", "failed", "incomplete", "uncertain", "cancelled").
    void Number(std::string_view number, std::string_view result);
    void End(std::string_view result);
    uint64_t Id() const { return m_id; }
    const std::string& Path() const { return m_path; }
    // The first write that failed after Begin, if any (later changes were then not sent).
    std::string Failure() const;

    bool Before(const server::JournalChange& change, uint64_t& entry, std::string& error) override;
    void After(uint64_t entry, int32_t hr, bool lost, std::span<const uint8_t> answer) override;

private:
    bool Append(const std::string& line, bool sync, std::string& error);
    bool Rotate(std::string& error);

    std::string m_path;
    Limits m_limits;
    mutable std::mutex m_mutex;
    int m_fd = -1;
    uint64_t m_id = 0;
    uint64_t m_seq = 0;
    std::map<uint64_t, std::vector<uint8_t>> m_sent;  // requests of unanswered changes, to tell the reply apart
    std::string m_failure;
};

// The user the journal names: the login name, else the user id.
std::string JournalUser();
// Now as "2026-12-10T15:06:33Z".
std::string JournalTime();

}  // namespace document
