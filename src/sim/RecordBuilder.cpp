#include "sim/RecordBuilder.h"

#include "server/ExtRec.h"
#include "server/ServProv.h"
#include "server/WorkgrpRec.h"
#include "sim/RecordFields.h"

namespace sim {

namespace ex = server::extrec;

namespace {

constexpr uint32_t kLogonIpLoopback = 0x0100007F;  // 127.0.0.1, bytes in network order

// The defaults the client writes into a record it creates; the server's own records carry the same.
void WriteCreationDefaults(server::ExtRec r) {
    r.SetExtFeatureFlagBank(ex::kFeatureCreated);
    r.SetU8(ex::kByte435, 4);
    r.SetU32(ex::kWord440, 3);
    r.SetU32(ex::kWord468, 3);
    r.SetU8(581, 5);
    r.SetU32(584, 5);
    r.SetU32(588, 10);
    r.SetU32(1072, 1);
    r.SetU16(1076, 100);
    r.SetU32(1080, 300);
    r.SetU32(1084, 50000);
    r.SetU16(1088, 60);
    r.SetU8(1090, 0xFF);
    r.SetU8(1091, 0xFF);
    r.SetU8(1092, 3);
    r.SetU8(1098, 1);
    r.SetU8(1210, 10);
    r.SetU8(2261, 0xFF);
    r.SetU8(2262, 0xFF);
    r.SetU8(2263, 0xFF);
    r.SetU8(ex::kCreationMarks + 1, 0xFF);
    r.SetU8(ex::kCreationMarks + 2, 0xFF);
    r.SetU8(ex::kCreationMarks + 3, 0xFF);
    r.SetU32(1376, 0xFF);
}

bool SetText(bool ok, const char* what, std::size_t width, std::string& error) {
    if (!ok) error = std::string(what) + " is longer than " + std::to_string(width - 1) + " characters";
    return ok;
}

}  // namespace

bool BuildExtRecord(const NewExtension& e, const SysConfig& config, Bytes& out, std::string& error) {
    if (!IsValidNumber(e.number)) {
        error = "extension number \"" + e.number + "\" is not 1 to 16 printable characters";
        return false;
    }
    uint8_t type = 0;
    if (!ParseExtTypeName(e.type, type)) {
        error = "unknown extension type \"" + e.type + "\"";
        return false;
    }
    out.assign(config.recordLength, 0);
    server::ExtRec r(out.data(), out.size());
    WriteCreationDefaults(r);
    r.SetRecordVersion(config.version);
    r.SetRecordSize(config.recordLength);
    r.SetExtensionNumber(e.number);
    r.SetText(ex::kNumberCopy, e.number);
    char hash[13];
    server::CZentServ::PasswordCopy(hash, e.number.c_str());
    r.SetExtPassword(hash);
    r.SetConfiguredLineType(ex::kLineTypeCreated);
    if (type == server::exttype::kIp) {
        // The server stores an IP endpoint as physical; the type is read from the flags.
        r.SetExtensionType(server::exttype::kPhysical);
        r.SetBits(ex::kExtFeatureFlagBank, ex::kFeatureIpEndpoint, true);
        r.SetBits(ex::kExtStatusFlagBank, ex::kStatusIpEndpoint, true);
        r.SetLogonIP(kLogonIpLoopback);
    } else {
        r.SetExtensionType(type);
    }
    if (type == server::exttype::kWorkgroup) r.SetBits(ex::kExtFeatureFlagBank, ex::kFeatureGroup, true);

    auto fits = [](std::optional<std::string> const& t, server::TextField f) { return !t || t->size() < f.width; };
    if (!SetText(fits(e.firstName, ex::kExtFirstName), "first name", ex::kExtFirstName.width, error) ||
        !SetText(fits(e.lastName, ex::kExtName), "last name", ex::kExtName.width, error) ||
        !SetText(fits(e.email, ex::kEMailName), "e-mail name", ex::kEMailName.width, error) ||
        !SetText(fits(e.fwdDial, ex::kFwdDialString), "forward dial string", ex::kFwdDialString.width, error) ||
        !SetText(fits(e.fwdEmail, ex::kFwdEmailAddr), "forward e-mail address", ex::kFwdEmailAddr.width, error))
        return false;
    r.SetEMailName(e.email ? *e.email : "ext" + e.number);
    if (e.firstName) r.SetExtFirstName(*e.firstName);
    if (e.lastName) r.SetExtName(*e.lastName);
    if (e.fwdDial) r.SetFwdDialString(*e.fwdDial);
    if (e.fwdEmail) r.SetFwdEmailAddr(*e.fwdEmail);
    if (e.forwarding) {
        r.SetBits(ex::kExtStatusFlagBank, ex::kStatusForwards, true);
        r.SetBits(ex::kExtFeatureFlagBank, ex::kForwardingCopyMask, true);
        r.SetForwardTarget(ex::kForwardToDialString);
        r.SetFwdMailOptions(0);
    }
    return true;
}

Bytes BuildWorkgroup(std::string_view number, const std::vector<std::string>& members) {
    Bytes out(kWorkgroupLength, 0);
    server::WORKGRPREC w(out.data(), out.size());
    w.SetRecordSize(static_cast<uint16_t>(kWorkgroupLength));
    w.SetGroupNumber(number);
    for (std::size_t i = 0; i < members.size() && i < server::workgrp::kMaxMembers; ++i) w.SetMember(i, members[i]);
    return out;
}

}  // namespace sim
