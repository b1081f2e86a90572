// New records as the simulated server makes them for `zentsim add` and for records that a state
// file lists without raw bytes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/SiteState.h"

namespace sim {

struct NewExtension {
    std::string number;
    std::string type = "physical";  // physical, virtual, group, wireless, ip, application
    std::optional<std::string> firstName, lastName, email, fwdDial, fwdEmail;  // code page text
    bool forwarding = false;  // a correct forwarding copy
};

// An ExtRec of the site's record length; false with a message for a bad number, type or text.
bool BuildExtRecord(const NewExtension& ext, const SysConfig& config, Bytes& out, std::string& error);
// A WORKGRPREC of kWorkgroupLength bytes for the group number with the members.
Bytes BuildWorkgroup(std::string_view number, const std::vector<std::string>& members);

}  // namespace sim
