// Sites for the scenario tests, reached through the real proxy library, stubs and in-process
// channel; the registry points at a fresh directory first.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "com/ProxyLoader.h"
#include "com/ProxyRegistration.h"
#include "proxy/Interfaces.h"
#include "sim/SimHost.h"
#include "sim/SiteSetup.h"
#include "support/SimRecords.h"
#include "support/TempDir.h"

namespace simtest {

// The seven interfaces a client asks for, in its order.
struct Connection {
    com::ComPtr<IZentControlI> control;
    com::ComPtr<IZentGetI> get;
    com::ComPtr<IZentChangeI> change;
    com::ComPtr<IZentITGTableSetupI> itg;
    com::ComPtr<IZentDeleteI> del;
    com::ComPtr<IZentONAI> ona;
    com::ComPtr<IZentOKLInterface> okl;
    com::MULTI_QI results[7];
    com::HRESULT hr = com::E_FAIL;
};

inline void UseFreshRegistry(const TempDir& dir) {
    setenv("QOB_REGISTRY_DIR", dir.path().c_str(), 1);
    com::ResetProxyStubCache();
    ASSERT_TRUE(com::EnsureProxyLibraryRegistered());
}

// Adopts an activation result's reference (the pointer is the interface asked for).
template <class T>
void Take(com::ComPtr<T>& ptr, com::IUnknown* itf) {
    *ptr.Put() = static_cast<T*>(itf);
}

inline std::unique_ptr<Connection> Connect(const std::shared_ptr<sim::Site>& site) {
    auto c = std::make_unique<Connection>();
    const com::IID* iids[] = {&IID_IZentControlI, &IID_IZentGetI,  &IID_IZentChangeI,     &IID_IZentITGTableSetupI,
                              &IID_IZentDeleteI,  &IID_IZentONAI, &IID_IZentOKLInterface};
    for (int i = 0; i < 7; ++i) c->results[i].pIID = iids[i];
    c->hr = sim::ActivateSite(site, c->results, 7);
    Take(c->control, c->results[0].pItf);
    Take(c->get, c->results[1].pItf);
    Take(c->change, c->results[2].pItf);
    Take(c->itg, c->results[3].pItf);
    Take(c->del, c->results[4].pItf);
    Take(c->ona, c->results[5].pItf);
    Take(c->okl, c->results[6].pItf);
    return c;
}

// A site of the given record length saved in dir, with the command line's defaults.
inline std::shared_ptr<sim::Site> MakeSite(const TempDir& dir, const std::string& file = "site.json",
                                           uint16_t recordLength = 2400) {
    sim::InitOptions o;
    o.name = "North";
    o.adminPassword = "secret";
    o.recordLength = recordLength;
    o.dialPlan = {{'8', 1}, {'5', 5}};
    o.locationCodeLength = 2;
    o.tieTrunkCodes = {"12"};
    sim::SiteState state;
    std::string error;
    EXPECT_TRUE(sim::MakeSiteState(o, state, error)) << error;
    auto site = sim::Site::Create(std::move(state), dir.file(file), false, error);
    EXPECT_TRUE(site) << error;
    return site;
}

inline void Add(sim::Site& site, const std::string& number, const std::string& type = "physical",
                std::vector<std::string> members = {}) {
    sim::NewExtension e;
    e.number = number;
    e.type = type;
    AddSimRecord(site, std::move(e), std::move(members));
}

}  // namespace simtest
