// The change journal's file: what it holds, read back into commands. One JSON object per line,
// appended only; the first line names the format and its version. docs/journal.md describes it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace document {

inline constexpr const char* kJournalFileName = "QOB.journal";
inline constexpr const char* kJournalFormat = "tarn-change-journal";
inline constexpr int kJournalVersion = 1;
// The scope of a window's retried deletion: each number's scope was asked again.
inline constexpr const char* kScopeAsked = "asked";

// One change sent (or about to be sent) to a site, and its answer once it came.
struct JournalEntry {
    uint64_t seq = 0;
    std::string time;
    std::string site;
    std::string number;
    std::string method;
    std::vector<uint8_t> before;  // the record as the site held it (empty: none)
    std::vector<uint8_t> sent;    // the request
    bool answered = false;        // no answer entry: the program ended before the site answered
    std::string result;           // "applied", "refused" or "uncertain"
    int32_t hr = 0;
    std::vector<uint8_t> answer;  // the reply's bytes, where they differ from the request
};

// One command: what was asked, what it sent, how each number and the whole ended.
struct JournalCommand {
    uint64_t id = 0;
    std::string time;
    std::string user;
    std::string kind;    // "sync", "delete", "undo", "retry"
    std::string action;  // the command line, or the window's command
    std::vector<std::string> sites;
    std::vector<std::string> numbers;
    std::map<std::string, std::string> homes;  // sync: the home chosen per number
    std::string scope;                         // delete: "virtual" or "all"
    uint64_t of = 0;                           // undo and retry: the command they work on
    std::vector<JournalEntry> changes;
    std::map<std::string, std::string> numberResults;  // "done", "failed", "incomplete", "uncertain", "cancelled"
    bool ended = false;
    std::string result;  // "ok", "failed", "cancelled"
    // Whether a change may have reached a site without its answer being written: the program
    // died in the command (no end) with a change unanswered or answered as uncertain.
    bool Incomplete() const { return !ended; }
};

struct JournalContents {
    int version = 0;
    std::vector<JournalCommand> commands;  // oldest first
    std::vector<std::string> warnings;     // lines skipped, and why
    // The raw lines of each command, for rotation (kept whole or dropped whole).
    std::map<uint64_t, std::vector<std::string>> lines;
};

// Reads journal text. Lines that do not parse are skipped with a warning (a cut last line is the
// usual case); false only for a journal of a newer version or another format (`error` says so).
bool ParseJournal(std::string_view text, JournalContents& out, std::string& error);
// The same from a file; a missing file is an empty journal.
bool ReadJournalFile(const std::string& path, JournalContents& out, std::string& error);

std::string HexBytes(const uint8_t* data, size_t size);
bool ParseHexBytes(std::string_view text, std::vector<uint8_t>& out);

}  // namespace document
