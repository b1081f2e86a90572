#include "sim/SiteSetup.h"

#include <algorithm>

#include "server/PasswordHash.h"
#include "server/ServProv.h"
#include "server/WorkgrpRec.h"

namespace sim {

bool MakeSiteState(const InitOptions& o, SiteState& out, std::string& error) {
    if (o.name.empty()) {
        error = "the site needs a name";
        return false;
    }
    if (o.adminPassword && o.adminHash) {
        error = "give either an administrator password or its hash, not both";
        return false;
    }
    SiteState s;
    s.name = o.name;
    s.system.version = o.version;
    s.system.extNumberLength = o.extNumberLength;
    s.system.dialPlan = o.dialPlan;
    s.system.recordLength = o.recordLength;
    if (o.adminHash) {
        s.system.adminHash = *o.adminHash;
    } else {
        char hash[server::kPasswordHashSize];
        server::CZentServ::PasswordCopy(hash, o.adminPassword ? o.adminPassword->c_str() : "");
        s.system.adminHash = hash;
    }
    if (o.locationCodeLength) {
        s.system.tieTrunk = TieTrunk{*o.locationCodeLength, kDefaultItgEntrySize, o.tieTrunkCodes};
    } else if (!o.tieTrunkCodes.empty()) {
        error = "tie-trunk codes need a location code length";
        return false;
    }
    if (!CheckSysConfig(s.system, error)) return false;
    out = std::move(s);
    return true;
}

bool AddToSite(SiteState& s, const AddOptions& o, std::string& error) {
    Bytes record;
    if (!BuildExtRecord(o.ext, s.system, record, error)) return false;
    const std::string& number = o.ext.number;
    if (s.FindRecord(number)) {
        error = "extension " + number + " exists already";
        return false;
    }
    const bool group = o.ext.type == "group";
    if (!o.members.empty() && !group) {
        error = "only a group has members";
        return false;
    }
    if (o.members.size() > server::workgrp::kMaxMembers) {
        error = "a group has at most 128 members";
        return false;
    }
    for (std::size_t i = 0; i < o.members.size(); ++i) {
        const std::string& m = o.members[i];
        if (!s.FindRecord(m)) {
            error = "member " + m + " is not an extension of this site (add it first)";
            return false;
        }
        if (std::find(o.members.begin(), o.members.begin() + static_cast<std::ptrdiff_t>(i), m) !=
            o.members.begin() + static_cast<std::ptrdiff_t>(i)) {
            error = "member " + m + " is listed twice";
            return false;
        }
    }
    s.AddRecord(std::move(record), nullptr);
    if (group) s.AddWorkgroup(BuildWorkgroup(number, o.members), nullptr);
    return true;
}

}  // namespace sim
