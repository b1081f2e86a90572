#include "sim/ChangeLog.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <set>

#include "server/WorkgrpRec.h"

namespace sim {

namespace {

constexpr char kMagic[12] = {'z', 'e', 'n', 't', 's', 'i', 'm', '-', 'l', 'o', 'g', '\0'};
constexpr uint32_t kVersion = 1;
constexpr std::size_t kFrameSize = kLogFrameSize;  // length, its complement, CRC
constexpr std::size_t kMaxText = 64u << 10;      // a mailbox text
constexpr std::size_t kMaxAccounts = 4096;       // accounts allowed to open the share

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(char((v >> (8 * i)) & 0xFF));
}

uint32_t GetU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void PutBlob(std::string& out, const void* data, std::size_t size) {
    PutU32(out, uint32_t(size));
    out.append(static_cast<const char*>(data), size);
}

void PutText(std::string& out, const std::string& s) { PutBlob(out, s.data(), s.size()); }
void PutBytes(std::string& out, const Bytes& b) { PutBlob(out, b.data(), b.size()); }

// Reading a payload: every length is checked against what is left before it is used.
class Cursor {
public:
    explicit Cursor(std::span<const uint8_t> data) : m_data(data) {}
    bool AtEnd() const { return m_pos == m_data.size(); }
    std::size_t Pos() const { return m_pos; }
    bool U8(uint8_t& v) {
        if (m_data.size() - m_pos < 1) return false;
        v = m_data[m_pos++];
        return true;
    }
    bool U32(uint32_t& v) {
        if (m_data.size() - m_pos < 4) return false;
        v = GetU32(m_data.data() + m_pos);
        m_pos += 4;
        return true;
    }
    bool I32(int32_t& v) {
        uint32_t u = 0;
        if (!U32(u)) return false;
        v = static_cast<int32_t>(u);
        return true;
    }
    bool Blob(std::size_t max, std::span<const uint8_t>& out) {
        uint32_t n = 0;
        if (!U32(n) || n > max || n > m_data.size() - m_pos) return false;
        out = m_data.subspan(m_pos, n);
        m_pos += n;
        return true;
    }
    bool Bytes_(std::size_t max, Bytes& out) {
        std::span<const uint8_t> s;
        if (!Blob(max, s)) return false;
        out.assign(s.begin(), s.end());
        return true;
    }
    bool Text(std::size_t max, std::string& out) {
        std::span<const uint8_t> s;
        if (!Blob(max, s)) return false;
        out.assign(reinterpret_cast<const char*>(s.data()), s.size());
        return true;
    }

private:
    std::span<const uint8_t> m_data;
    std::size_t m_pos = 0;
};

bool HasNumber(LogKind k) {
    return k == LogKind::RemoveRecord || k == LogKind::RemoveWorkgroup || k == LogKind::PutExtData ||
           k == LogKind::RemoveExtData || k == LogKind::PutOnaData || k == LogKind::RemoveOnaData;
}

bool HasBytes(LogKind k) {
    return k == LogKind::PutRecord || k == LogKind::PutWorkgroup || k == LogKind::PutExtData ||
           k == LogKind::PutOnaData || k == LogKind::PutItem;
}

bool HasItem(LogKind k) { return k == LogKind::PutItem || k == LogKind::RemoveItem; }

bool AllZero(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c == 0; });
}

}  // namespace

uint32_t Crc32(std::span<const uint8_t> data) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : data) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

std::string LogHeader() {
    std::string h(kMagic, sizeof kMagic);
    PutU32(h, kVersion);
    return h;
}

std::string EncodeLogEntry(const std::vector<LogChange>& changes) {
    std::string payload;
    for (const LogChange& c : changes) {
        payload.push_back(char(c.kind));
        if (HasNumber(c.kind)) PutText(payload, c.number);
        if (HasItem(c.kind)) {
            PutU32(payload, uint32_t(c.item.first));
            PutU32(payload, uint32_t(c.item.second));
        }
        if (c.kind == LogKind::PutExtData) PutU32(payload, uint32_t(c.tag));
        if (HasBytes(c.kind)) PutBytes(payload, c.bytes);
        if (c.kind == LogKind::Mailbox) {
            payload.push_back(c.mailbox.open ? 1 : 0);
            PutText(payload, c.mailbox.share);
            PutText(payload, c.mailbox.path);
            PutText(payload, c.mailbox.account);
            PutU32(payload, uint32_t(c.mailbox.allowedAccounts.size()));
            for (const std::string& a : c.mailbox.allowedAccounts) PutText(payload, a);
        }
    }
    std::string entry;
    entry.reserve(kFrameSize + payload.size());
    PutU32(entry, uint32_t(payload.size()));
    PutU32(entry, ~uint32_t(payload.size()));
    PutU32(entry, Crc32({reinterpret_cast<const uint8_t*>(payload.data()), payload.size()}));
    entry += payload;
    return entry;
}

bool DecodeLogPayload(std::span<const uint8_t> payload, std::vector<LogChange>& changes, std::string& error) {
    Cursor in(payload);
    while (!in.AtEnd()) {
        const std::size_t at = in.Pos();
        auto fail = [&](const char* what) {
            error = "change at byte " + std::to_string(at) + " of the entry: " + what;
            return false;
        };
        uint8_t kind = 0;
        in.U8(kind);
        if (kind < uint8_t(LogKind::PutRecord) || kind > uint8_t(LogKind::Mailbox)) return fail("unknown kind");
        LogChange c;
        c.kind = LogKind(kind);
        if (HasNumber(c.kind) && (!in.Text(kMaxNumberLength, c.number) || !IsValidNumber(c.number)))
            return fail("no valid number");
        if (HasItem(c.kind) && (!in.I32(c.item.first) || !in.I32(c.item.second))) return fail("cut short");
        if (c.kind == LogKind::PutExtData && !in.I32(c.tag)) return fail("cut short");
        if (HasBytes(c.kind)) {
            const std::size_t max = c.kind == LogKind::PutRecord      ? 0xFFFF
                                    : c.kind == LogKind::PutWorkgroup ? kWorkgroupLength
                                                                      : kMaxDataBlock;
            if (!in.Bytes_(max, c.bytes)) return fail("bytes cut short or too long");
        }
        if (c.kind == LogKind::Mailbox) {
            uint8_t open = 0;
            uint32_t accounts = 0;
            if (!in.U8(open) || open > 1 || !in.Text(kMaxText, c.mailbox.share) || !in.Text(kMaxText, c.mailbox.path) ||
                !in.Text(kMaxText, c.mailbox.account) || !in.U32(accounts) || accounts > kMaxAccounts)
                return fail("mailbox cut short or too long");
            c.mailbox.open = open == 1;
            c.mailbox.allowedAccounts.resize(accounts);
            for (std::string& a : c.mailbox.allowedAccounts)
                if (!in.Text(kMaxText, a)) return fail("mailbox cut short or too long");
        }
        changes.push_back(std::move(c));
    }
    return true;
}

bool ScanLog(std::string_view text, LogScan& scan, std::string& error) {
    scan = {};
    const std::string header = LogHeader();
    if (text.size() < header.size()) {
        // A log whose creation was cut short holds nothing acknowledged.
        if (text != std::string_view(header).substr(0, text.size()) && !AllZero(text)) {
            error = "offset 0: not a zentsim change log";
            return false;
        }
        return true;
    }
    if (text.compare(0, sizeof kMagic, std::string_view(kMagic, sizeof kMagic)) != 0) {
        error = "offset 0: not a zentsim change log";
        return false;
    }
    if (GetU32(reinterpret_cast<const uint8_t*>(text.data()) + sizeof kMagic) != kVersion) {
        error = "offset 12: a change log of another version";
        return false;
    }
    std::size_t pos = header.size();
    scan.validLength = pos;
    while (pos < text.size()) {
        const std::string_view rest = text.substr(pos);
        const auto* p = reinterpret_cast<const uint8_t*>(rest.data());
        const char* problem = nullptr;
        std::size_t end = text.size();  // where the entry ends, as far as it tells
        if (rest.size() < kFrameSize) {
            problem = "entry cut short";
        } else {
            const uint32_t length = GetU32(p);
            if (GetU32(p + 4) != ~length || length > kMaxLogPayload) {
                problem = "entry length is damaged";
                end = pos;  // an unfinished write leaves a length that agrees with its check
            } else if (length > rest.size() - kFrameSize) {
                problem = "entry cut short";
            } else {
                end = pos + kFrameSize + length;
                if (Crc32({p + kFrameSize, length}) != GetU32(p + 8)) problem = "entry checksum does not match";
                else scan.payloads.emplace_back(p + kFrameSize, length);
            }
        }
        if (problem) {
            // Only the last write can be unfinished: what it left reaches the end of the file, or
            // is zeros the file system had given the file but the data never reached.
            if (end == text.size() || AllZero(rest)) return true;
            error = "offset " + std::to_string(pos) + ": " + problem + ", with " + std::to_string(text.size() - pos) +
                    " bytes from there to the end of the log";
            return false;
        }
        pos = end;
        scan.validLength = pos;
    }
    return true;
}

bool ApplyLogChanges(SiteState& state, const std::vector<LogChange>& changes, std::string& error) {
    // Member bits follow the final memberships; a replayed entry may meet a state that already
    // holds later changes (a fold that was cut short before the log went), so they are set last.
    std::set<std::string, std::less<>> touched;
    auto members = [&](const Bytes& w) {
        server::ConstWORKGRPREC g(w.data(), w.size());
        for (std::size_t i = 0, n = g.MemberCount(); i < n; ++i) touched.emplace(g.Member(i));
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const LogChange& c = changes[i];
        auto fail = [&](const std::string& what) {
            error = "change " + std::to_string(i) + ": " + what;
            return false;
        };
        switch (c.kind) {
        case LogKind::PutRecord: {
            if (c.bytes.size() != state.system.recordLength) return fail("a record of another length than the site's");
            std::string number;
            if (!state.PutRecord(c.bytes, &number)) return fail("a record without a valid number");
            touched.insert(std::move(number));
            break;
        }
        case LogKind::RemoveRecord: state.RemoveRecord(c.number, nullptr); break;
        case LogKind::PutWorkgroup: {
            if (c.bytes.size() != kWorkgroupLength) return fail("a workgroup of another length");
            server::ConstWORKGRPREC g(c.bytes.data(), c.bytes.size());
            const std::string number(g.GroupNumber());
            if (!IsValidNumber(number)) return fail("a workgroup without a valid number");
            if (const Stored* old = state.FindWorkgroup(number)) {
                members(old->bytes);
                state.ReplaceWorkgroup(c.bytes, nullptr);
            } else {
                state.AddWorkgroup(c.bytes, nullptr);
            }
            members(c.bytes);
            break;
        }
        case LogKind::RemoveWorkgroup:
            if (auto old = state.RemoveWorkgroup(c.number, nullptr)) members(*old);
            break;
        case LogKind::PutExtData: state.extData[c.number] = ExtData{c.tag, c.bytes}; break;
        case LogKind::RemoveExtData: state.extData.erase(c.number); break;
        case LogKind::PutOnaData: state.onaData[c.number] = c.bytes; break;
        case LogKind::RemoveOnaData: state.onaData.erase(c.number); break;
        case LogKind::PutItem: state.items[c.item] = c.bytes; break;
        case LogKind::RemoveItem: state.items.erase(c.item); break;
        case LogKind::Mailbox: state.mailbox = c.mailbox; break;
        }
    }
    for (const std::string& number : touched) state.RefreshMemberBit(number);
    return true;
}

}  // namespace sim
