// Everything a simulated site holds: system configuration, records as the server keeps them (raw
// bytes of the site's record length, keyed by number in byte-wise order), workgroups, data
// blocks, mailbox-share state and fault settings. Not thread-safe: Site guards it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sim/Faults.h"
#include "sim/SysConfig.h"

namespace sim {

using Bytes = std::vector<uint8_t>;

inline constexpr std::size_t kWorkgroupLength = 4300;
inline constexpr std::size_t kMaxNumberLength = 16;
inline constexpr std::size_t kMaxDataBlock = 1u << 20;  // per data block or item

// A record or workgroup; `fragment` caches its state-file text until the bytes change.
struct Stored {
    Bytes bytes;
    mutable std::string fragment;
};

struct ExtData {
    int32_t tag = 0;  // the i32 that ReadExtData returns and WriteExtData stores
    Bytes bytes;
    bool operator==(const ExtData&) const = default;
};

struct MailboxState {
    bool open = false;
    std::string share, path, account;     // of the open share (UTF-8)
    std::vector<std::string> allowedAccounts;  // empty: any account may open the share
    bool operator==(const MailboxState&) const = default;
};

// What a request changed, by kind and key: the site logs the new value of each when it commits.
enum class TouchKind : uint8_t { Record, Workgroup, ExtData, OnaData, Item, Mailbox };
struct Touch {
    TouchKind kind;
    std::string number;
    std::pair<int32_t, int32_t> item{};
};

// Inverse actions of the changes of one request, run in reverse when it cannot be saved, and
// what the changes touched.
class UndoLog {
public:
    void Add(std::function<void()> f) { m_actions.push_back(std::move(f)); }
    void Touched(TouchKind kind, std::string number = {}, std::pair<int32_t, int32_t> item = {}) {
        m_touched.push_back({kind, std::move(number), item});
    }
    const std::vector<Touch>& Touches() const { return m_touched; }
    void Rollback() {
        for (auto it = m_actions.rbegin(); it != m_actions.rend(); ++it) (*it)();
        m_actions.clear();
        m_touched.clear();
    }

private:
    std::vector<std::function<void()>> m_actions;
    std::vector<Touch> m_touched;
};

// An extension number as sites accept it: 1 to 16 printable ASCII characters, no blank.
bool IsValidNumber(std::string_view number);

class SiteState {
public:
    using Map = std::map<std::string, Stored, std::less<>>;

    std::string name;
    SysConfig system;
    Faults faults;
    MailboxState mailbox;
    std::map<std::string, ExtData, std::less<>> extData;
    std::map<std::string, Bytes, std::less<>> onaData;
    std::map<std::pair<int32_t, int32_t>, Bytes> items;  // (kind, identifier)

    const Map& Records() const { return m_records; }
    const Map& Workgroups() const { return m_workgroups; }
    const Stored* FindRecord(std::string_view number) const;
    const Stored* FindWorkgroup(std::string_view number) const;
    // True when some workgroup lists the number.
    bool IsMember(std::string_view number) const;

    // Changes as requests make them. Records have the site's record length, workgroups
    // kWorkgroupLength; the key is the number inside. Status bit 0x2 of every record concerned
    // follows the memberships. False when the number exists (add) or is missing (replace).
    bool AddRecord(Bytes bytes, UndoLog* undo);
    bool ReplaceRecord(Bytes bytes, UndoLog* undo);
    std::optional<Bytes> RemoveRecord(std::string_view number, UndoLog* undo);
    bool AddWorkgroup(Bytes bytes, UndoLog* undo);
    bool ReplaceWorkgroup(Bytes bytes, UndoLog* undo);
    std::optional<Bytes> RemoveWorkgroup(std::string_view number, UndoLog* undo);

    // Loading: stores the bytes exactly as given (no flag is recomputed). False for a duplicate.
    bool LoadRecord(Bytes bytes);
    bool LoadWorkgroup(Bytes bytes);
    // Replaying a change log: adds or replaces a record with the bytes exactly as given (false
    // when its number is not valid), and sets the member bit of a record from the memberships.
    bool PutRecord(Bytes bytes, std::string* number);
    void RefreshMemberBit(std::string_view number) { SyncMemberBit(number); }

private:
    void CountMembers(const Bytes& workgroup, int delta, std::vector<std::string>* touched);
    void SyncMemberBit(std::string_view number);

    Map m_records;
    Map m_workgroups;
    std::unordered_map<std::string, int> m_memberships;  // number -> entries listing it
};

}  // namespace sim
