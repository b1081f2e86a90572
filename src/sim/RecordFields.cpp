#include "sim/RecordFields.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/CodePage.h"
#include "sim/SiteState.h"

namespace sim {

namespace {

enum class Kind { Text, Type, U8, U16Hex, U32, U32Hex, Ip };

struct FieldDef {
    const char* key;
    Kind kind;
    std::size_t offset;
    std::size_t width;
};

namespace ex = server::extrec;

constexpr FieldDef kExtFields[] = {
    {"number", Kind::Text, ex::kExtensionNumber.offset, ex::kExtensionNumber.width},
    {"type", Kind::Type, ex::kExtensionType, 1},
    {"first_name", Kind::Text, ex::kExtFirstName.offset, ex::kExtFirstName.width},
    {"last_name", Kind::Text, ex::kExtName.offset, ex::kExtName.width},
    {"email_name", Kind::Text, ex::kEMailName.offset, ex::kEMailName.width},
    {"password_hash", Kind::Text, ex::kExtPassword.offset, ex::kExtPassword.width},
    {"feature_flags", Kind::U32Hex, ex::kExtFeatureFlagBank, 4},
    {"status_flags", Kind::U32Hex, ex::kExtStatusFlagBank, 4},
    {"forward_target", Kind::U32, ex::kForwardTarget, 4},
    {"fwd_dial_string", Kind::Text, ex::kFwdDialString.offset, ex::kFwdDialString.width},
    {"fwd_email_addr", Kind::Text, ex::kFwdEmailAddr.offset, ex::kFwdEmailAddr.width},
    {"fwd_mail_options", Kind::U8, ex::kFwdMailOptions, 1},
    {"logon_ip", Kind::Ip, ex::kLogonIP, 4},
    {"record_version", Kind::U16Hex, ex::kRecordVersion, 2},
};

constexpr const char* kTypeNames[] = {"physical", "virtual", "group", "wireless", "ip", "application"};

std::string Hex(uint32_t v, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, v);
    return buf;
}

Json DecodeField(const FieldDef& f, server::ConstExtRec rec) {
    switch (f.kind) {
    case Kind::Text: return platform::CodePageToUtf8(rec.Text({f.offset, f.width}));
    case Kind::Type: {
        const uint8_t code = rec.U8(f.offset);
        if (const char* name = ExtTypeName(code)) return name;
        return code;
    }
    case Kind::U8: return rec.U8(f.offset);
    case Kind::U16Hex: return Hex(rec.U16(f.offset), 4);
    case Kind::U32: return rec.U32(f.offset);
    case Kind::U32Hex: return Hex(rec.U32(f.offset), 8);
    case Kind::Ip: {
        char buf[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, rec.data() + f.offset, buf, sizeof buf);
        return buf;
    }
    }
    return nullptr;
}

// An unsigned integer from a JSON number, or from "0x..." text when hexOk.
bool UnsignedValue(const Json& v, uint64_t max, bool hexOk, uint64_t& out) {
    if (v.is_number_unsigned()) {
        out = v.get<uint64_t>();
    } else if (v.is_number_integer()) {
        return false;  // negative
    } else if (hexOk && v.is_string()) {
        const std::string& s = v.get_ref<const std::string&>();
        if (s.size() < 3 || s.size() > 18 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) return false;
        out = 0;
        for (std::size_t i = 2; i < s.size(); ++i) {
            char c = s[i];
            int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (d < 0 || out > (max >> 4)) return false;
            out = out << 4 | uint64_t(d);
        }
    } else {
        return false;
    }
    return out <= max;
}

bool ApplyField(const FieldDef& f, const Json& v, server::ExtRec rec, std::string& error) {
    const std::string key = f.key;
    if (!rec.Has(f.offset, f.width)) {
        error = key + ": lies outside the record length " + std::to_string(rec.size());
        return false;
    }
    if (DecodeField(f, rec) == v) return true;  // unchanged: keep the bytes exactly
    uint64_t n = 0;
    switch (f.kind) {
    case Kind::Text: {
        if (!v.is_string()) {
            error = key + ": must be text";
            return false;
        }
        std::string text;
        platform::TextProblem problem;
        if (!platform::Utf8ToCodePageExact(v.get_ref<const std::string&>(), text, &problem)) {
            error = key + ": the text " + problem.Describe();
            return false;
        }
        if (text.size() > f.width - 1 || text.find('\0') != std::string::npos) {
            error = key + ": longer than " + std::to_string(f.width - 1) + " bytes";
            return false;
        }
        if (f.offset == ex::kExtensionNumber.offset && !IsValidNumber(text)) {
            error = "number: \"" + v.get<std::string>() + "\" is not 1 to 16 printable characters";
            return false;
        }
        rec.SetText({f.offset, f.width}, text);
        return true;
    }
    case Kind::Type: {
        uint8_t code = 0;
        if (v.is_string() && ParseExtTypeName(v.get_ref<const std::string&>(), code)) {
            rec.SetU8(f.offset, code);
            return true;
        }
        if (UnsignedValue(v, 0xFF, false, n)) {
            rec.SetU8(f.offset, uint8_t(n));
            return true;
        }
        error = key + ": must be one of physical, virtual, group, wireless, ip, application or a code 0..255";
        return false;
    }
    case Kind::U8:
        if (!UnsignedValue(v, 0xFF, false, n)) break;
        rec.SetU8(f.offset, uint8_t(n));
        return true;
    case Kind::U16Hex:
        if (!UnsignedValue(v, 0xFFFF, true, n)) break;
        rec.SetU16(f.offset, uint16_t(n));
        return true;
    case Kind::U32:
    case Kind::U32Hex:
        if (!UnsignedValue(v, 0xFFFFFFFFu, f.kind == Kind::U32Hex, n)) break;
        rec.SetU32(f.offset, uint32_t(n));
        return true;
    case Kind::Ip: {
        in_addr a{};
        if (!v.is_string() || inet_pton(AF_INET, v.get_ref<const std::string&>().c_str(), &a) != 1) {
            error = key + ": must be a dotted IPv4 address";
            return false;
        }
        std::memcpy(rec.data() + f.offset, &a, 4);
        return true;
    }
    }
    error = key + ": must be an integer that fits the field";
    return false;
}

bool Ignored(std::string_view key, std::initializer_list<std::string_view> ignored) {
    return std::find(ignored.begin(), ignored.end(), key) != ignored.end();
}

}  // namespace

const char* ExtTypeName(uint8_t code) { return code < std::size(kTypeNames) ? kTypeNames[code] : nullptr; }

bool ParseExtTypeName(std::string_view name, uint8_t& code) {
    for (uint8_t i = 0; i < std::size(kTypeNames); ++i) {
        if (name == kTypeNames[i]) {
            code = i;
            return true;
        }
    }
    return false;
}

Json DecodeExtFields(server::ConstExtRec rec) {
    Json out = Json::object();
    for (const FieldDef& f : kExtFields)
        if (rec.Has(f.offset, f.width)) out[f.key] = DecodeField(f, rec);
    return out;
}

bool ApplyExtFields(const Json& obj, server::ExtRec rec, std::initializer_list<std::string_view> ignored,
                    std::string& error) {
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        if (Ignored(it.key(), ignored)) continue;
        const FieldDef* def = nullptr;
        for (const FieldDef& f : kExtFields)
            if (it.key() == f.key) def = &f;
        if (!def) {
            error = "unknown field \"" + it.key() + "\"";
            return false;
        }
        if (!ApplyField(*def, it.value(), rec, error)) return false;
    }
    return true;
}

Json DecodeWorkgroupFields(server::ConstWORKGRPREC rec) {
    Json out = Json::object();
    out["number"] = platform::CodePageToUtf8(rec.GroupNumber());
    Json members = Json::array();
    for (std::size_t i = 0, n = rec.MemberCount(); i < n; ++i) members.push_back(platform::CodePageToUtf8(rec.Member(i)));
    out["members"] = std::move(members);
    return out;
}

bool ApplyWorkgroupFields(const Json& obj, server::WORKGRPREC rec, std::initializer_list<std::string_view> ignored,
                          std::string& error) {
    const Json current = DecodeWorkgroupFields(rec);
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        const std::string& key = it.key();
        if (Ignored(key, ignored)) continue;
        const Json& v = it.value();
        if (key == "number") {
            if (v == current["number"]) continue;
            std::string text;
            if (!v.is_string() || !platform::Utf8ToCodePageExact(v.get_ref<const std::string&>(), text) ||
                !IsValidNumber(text)) {
                error = "number: must be 1 to 16 printable characters";
                return false;
            }
            rec.SetGroupNumber(text);
        } else if (key == "members") {
            if (v == current["members"]) continue;
            if (!v.is_array() || v.size() > server::workgrp::kMaxMembers) {
                error = "members: must be an array of at most 128 extension numbers";
                return false;
            }
            std::vector<std::string> members;
            for (const Json& m : v) {
                std::string text;
                if (!m.is_string() || !platform::Utf8ToCodePageExact(m.get_ref<const std::string&>(), text) ||
                    !IsValidNumber(text)) {
                    error = "members: " + m.dump() + " is not an extension number";
                    return false;
                }
                members.push_back(std::move(text));
            }
            for (std::size_t i = 0; i < server::workgrp::kMaxMembers; ++i)
                rec.SetMember(i, i < members.size() ? std::string_view(members[i]) : std::string_view{});
        } else {
            error = "unknown field \"" + key + "\"";
            return false;
        }
    }
    return true;
}

}  // namespace sim
