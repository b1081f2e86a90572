// A record put on a simulated site directly, as the server holds it before any request, the way
// `zentsim add` makes it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
