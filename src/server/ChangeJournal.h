// What a connection tells the change journal: each change before it is sent, and the site's answer
// after. The journal keeps it on disk so that a command can be shown, undone, retried, or
// recovered after a crash; a connection without one sends as before.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace server {

// The answer of a change that was not sent because the journal could not be written (E_ABORT).
inline constexpr int32_t kNotJournalled = static_cast<int32_t>(0x80004004u);

struct JournalChange {
    std::string_view site;
    std::string_view method;             // the remote method
    std::string_view number;             // the extension or group the call is about
    std::span<const std::uint8_t> before;  // the record as the site held it (empty: none)
    std::span<const std::uint8_t> sent;    // the request as sent
};

class IChangeJournal {
public:
    // Written to disk before the call goes out; false (with the reason) when it could not be:
    // the change is then not sent. `entry` names it for After.
    virtual bool Before(const JournalChange& change, std::uint64_t& entry, std::string& error) = 0;
    // The site's answer: its result, whether it was lost in the transport (the change may have
    // been applied), and the request buffer as the call left it (a reply comes back in it).
    virtual void After(std::uint64_t entry, int32_t hr, bool lost, std::span<const std::uint8_t> answer) = 0;

protected:
    ~IChangeJournal() = default;
};

}  // namespace server
