// A site held in memory with `records` physical extensions 10000, 10001, ... (first names
// First0, First1, ...), password "pw", dial plan 8 = class 1: the sites of the wire tests and
// benchmarks. Null, with the reason, when it cannot be made.
#pragma once

#include <memory>
#include <string>

#include "sim/Site.h"
#include "sim/SiteSetup.h"

inline std::shared_ptr<sim::Site> NumberedSite(const std::string& name, int records, uint16_t recordLength,
                                               std::string& error) {
    sim::InitOptions o;
    o.name = name;
    o.adminPassword = "pw";
    o.recordLength = recordLength;
    o.extNumberLength = 5;
    o.dialPlan = {{'8', 1}};
    sim::SiteState state;
    if (!sim::MakeSiteState(o, state, error)) return nullptr;
    for (int i = 0; i < records; ++i) {
        sim::AddOptions a;
        a.ext.number = std::to_string(10000 + i);
        a.ext.firstName = "First" + std::to_string(i);
        if (!sim::AddToSite(state, a, error)) return nullptr;
    }
    return std::make_shared<sim::Site>(std::move(state));
}
