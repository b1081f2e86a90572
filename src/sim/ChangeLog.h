// The change log beside a state file ("<state file>.log", after links): what the server changed
// since the state file was last written, one self-checking entry per request, so that a change
// costs an append and a flush instead of a rewrite of the whole state.
//
// File: a 16-byte header ("zentsim-log\0" and the version as u32), then entries:
//   u32 payload length, u32 its bitwise complement, u32 CRC-32 of the payload, payload.
// Payload: changes, each a u8 kind and its fields (u32-length-prefixed bytes and texts, i32s),
// every one the new value of what it names (or its removal), so replaying an entry twice gives
// the same state as replaying it once. All integers are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/SiteState.h"

namespace sim {

inline constexpr std::string_view kLogSuffix = ".log";
inline constexpr std::size_t kLogHeaderSize = 16;
inline constexpr std::size_t kLogFrameSize = 12;  // before each payload
// The largest payload of one entry: a data block and what goes with it.
inline constexpr std::size_t kMaxLogPayload = kMaxDataBlock + (1u << 20);
// The largest log read; the server folds it into the state file long before.
inline constexpr std::size_t kMaxLogFile = 1u << 30;

enum class LogKind : uint8_t {
    PutRecord = 1,
    RemoveRecord,
    PutWorkgroup,
    RemoveWorkgroup,
    PutExtData,
    RemoveExtData,
    PutOnaData,
    RemoveOnaData,
    PutItem,
    RemoveItem,
    Mailbox,
};

struct LogChange {
    LogKind kind{};
    std::string number;                  // records, workgroups, ext and ONA data
    std::pair<int32_t, int32_t> item{};  // items: (kind, identifier)
    int32_t tag = 0;                     // ext data
    Bytes bytes;                         // the new value
    MailboxState mailbox;
    bool operator==(const LogChange&) const = default;
};

std::string LogHeader();
// One framed entry holding changes.
std::string EncodeLogEntry(const std::vector<LogChange>& changes);
// The changes of one payload; false with what is wrong when it is not one this encoder makes.
bool DecodeLogPayload(std::span<const uint8_t> payload, std::vector<LogChange>& changes, std::string& error);

// A log file split into entry payloads (views into text). `validLength` is where the last whole
// entry ends: an entry cut short or unreadable at the end of the file (a write the process did
// not finish, never acknowledged) is left out. A bad entry with more behind it is an error naming
// its offset.
struct LogScan {
    std::vector<std::span<const uint8_t>> payloads;
    std::size_t validLength = 0;
};
bool ScanLog(std::string_view text, LogScan& scan, std::string& error);

// Applies the changes of a log to state as the server made them; false when one does not fit
// this site (a record of another length, a number no site accepts).
bool ApplyLogChanges(SiteState& state, const std::vector<LogChange>& changes, std::string& error);

// The CRC-32 (IEEE 802.3) of data.
uint32_t Crc32(std::span<const uint8_t> data);

}  // namespace sim
