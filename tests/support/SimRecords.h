// A simulated site's state changed directly, as the server holds it before any request: a record
// put on it the way `zentsim add` makes it, a record's bytes or anything else changed in place.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "server/ExtRec.h"
#include "sim/Site.h"
#include "sim/SiteSetup.h"

inline void AddSimRecord(sim::Site& site, sim::NewExtension ext, std::vector<std::string> members = {}) {
    sim::AddOptions o;
    o.ext = std::move(ext);
    o.members = std::move(members);
    std::string error;
    ASSERT_TRUE(site.Modify([&](sim::SiteState& s, std::string& e) { return sim::AddToSite(s, o, e); }, error))
        << error;
}

// What a server holds that no request makes.
inline void EditSimState(sim::Site& site, const std::function<void(sim::SiteState&)>& change) {
    std::string error;
    ASSERT_TRUE(site.Modify(
        [&](sim::SiteState& s, std::string&) {
            change(s);
            return true;
        },
        error))
        << error;
}

// Changes bytes of a record the site holds, as a server's own edit would.
inline void EditSimRecord(sim::Site& site, const std::string& number, const std::function<void(server::ExtRec)>& edit) {
    std::string error;
    ASSERT_TRUE(site.Modify(
        [&](sim::SiteState& s, std::string& m) {
            const sim::Stored* held = s.FindRecord(number);
            if (!held) {
                m = "no record " + number;
                return false;
            }
            sim::Bytes bytes = held->bytes;
            edit(server::ExtRec(bytes.data(), bytes.size()));
            return s.ReplaceRecord(std::move(bytes), nullptr);
        },
        error))
        << error;
}
