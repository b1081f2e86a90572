// One simulated site: its state behind a mutex, its state file with the change log beside it
// (each request's changes appended and flushed to the log, folded into the state file when the
// log grows or the server stops), and what it counts in memory only: calls per method (for
// "after N calls" faults) and a journal of the calls it answered, for tests.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "com/HResult.h"
#include "sim/SiteState.h"

namespace sim {

// Results the server gives besides the usual ones.
inline constexpr com::HRESULT kNotFound = com::MakeHr(0x80070490);       // ERROR_NOT_FOUND
inline constexpr com::HRESULT kAlreadyExists = com::MakeHr(0x800700B7);  // ERROR_ALREADY_EXISTS
inline constexpr com::HRESULT kInUse = com::MakeHr(0x800700AA);          // ERROR_BUSY
inline constexpr com::HRESULT kSaveFailed = com::MakeHr(0x8007001D);     // ERROR_WRITE_FAULT

struct CallRecord {
    std::string method;
    com::HRESULT result;
};

class Site {
public:
    // A site in memory only (nothing is saved), or one saved to path.
    explicit Site(SiteState state, std::string path = {});
    ~Site();
    Site(const Site&) = delete;
    Site& operator=(const Site&) = delete;

    // Loads a state file and replays its change log; null with a message naming the file and
    // the problem (for the log, the offset of the damaged entry).
    static std::shared_ptr<Site> Open(const std::string& path, std::string& error);
    // A site in memory from state-file text.
    static std::shared_ptr<Site> FromJson(std::string_view text, std::string& error);
    // Writes state to a new state file (an existing one only with overwrite) and opens it.
    static std::shared_ptr<Site> Create(SiteState state, const std::string& path, bool overwrite, std::string& error);

    const std::string& Path() const { return m_path; }
    const std::string& LogPath() const { return m_logPath; }

    // The state; hold Mutex() while using it.
    std::mutex& Mutex() const { return m_mutex; }
    SiteState& State() { return m_state; }

    // With the mutex held. Save writes the whole state file and then drops the log (true without
    // a file); Commit appends the changes of a request to the log and flushes it, folding the log
    // into the state file once it outgrows LogLimit(), or rolls them back and answers
    // kSaveFailed.
    bool Save(std::string& error);
    com::HRESULT Commit(UndoLog& undo);
    // Takes the mutex: folds the log into the state file when it holds anything.
    bool Fold(std::string& error);

    // The log is folded once it is larger than half the state file, and at least floorBytes.
    void SetLogFloor(std::size_t floorBytes);
    std::size_t LogLimit() const;  // with the mutex held
    std::size_t LogBytes() const;  // what the log holds (0: none)

    // Runs change on the state under the mutex and saves; false with a message from either. (A
    // failed save leaves the change in memory: the command line exits, tests see the error.)
    bool Modify(const std::function<bool(SiteState&, std::string&)>& change, std::string& error);
    // Sets or clears a method fault; its call count starts again.
    bool SetMethodFault(std::string_view method, std::optional<MethodFault> fault, std::string& error);

    // With the mutex held: counts a call of method and gives the fault result when one applies.
    std::optional<MethodFault> CountCall(std::string_view method);
    void Journal(std::string_view method, com::HRESULT result);
    // Also appends every journal entry to a file, one "METHOD 0xHRESULT" line each (`zentsim serve
    // --journal`); empty: none. Set before serving.
    void SetJournalFile(std::string path) { m_journalFile = std::move(path); }

    // Each takes the mutex.
    uint32_t DelayMs() const;
    std::vector<CallRecord> Calls() const;
    void ClearCalls();
    std::string LastSaveError() const;
    std::string DumpText() const;  // `zentsim dump` output

private:
    static constexpr std::size_t kJournalLimit = 100000;
    static constexpr std::size_t kDefaultLogFloor = 1u << 20;

    bool Load(std::string& error);
    bool AppendLog(const std::string& entry, std::string& error);
    bool OpenLogForAppend(std::string& error);
    bool DropLog(std::string& error);

    mutable std::mutex m_mutex;
    SiteState m_state;
    std::string m_path;
    std::map<std::string, uint64_t, std::less<>> m_callCounts;
    std::deque<CallRecord> m_journal;
    std::string m_journalFile;
    std::string m_lastSaveError;
    std::string m_logPath;
    int m_logFd = -1;
    std::size_t m_logBytes = 0;   // the length of the log's whole entries (0: no log)
    std::size_t m_stateBytes = 0; // the size of the state file as last read or written
    std::size_t m_logFloor = kDefaultLogFloor;
};

}  // namespace sim
