// What a download or a matching that cannot go on leaves behind: the order in which a given-up
// connection lets go of its site, and the list kept when the matching gets no memory.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

#include "DownloadFixture.h"
#include "com/InProcActivation.h"
#include "sim/SimServer.h"

// This program's allocations can be made to fail, one at a time, as a refused allocation does.
// (GCC cannot see that the replaced new and delete below pair malloc with free.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
namespace {
std::atomic<bool> g_failNextAllocation{false};
}  // namespace

void* operator new(std::size_t size) {
    if (g_failNextAllocation.exchange(false)) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (g_failNextAllocation.exchange(false)) return nullptr;
    return std::malloc(size ? size : 1);
}
// Every form is replaced, so whatever a sanitizer's runtime supplies never meets these deletes.
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

using namespace downloadtest;

namespace {

// Stands between a stub and the simulated server for one interface: every call passes through
// unchanged, and the journal gets the call's name and, at the last release, the interface's.
#define QOB_PASS_METHOD(iface, number, shape, name)        \
    com::HRESULT name QOB_SIG_##shape override {           \
        m_journal.push_back(m_site + " " #name);           \
        return m_target->name QOB_ARGS_##shape;            \
    }
#define QOB_PASS_CLASS(index, iface, ...)                                                          \
    class Pass_##iface final : public iface {                                                      \
    public:                                                                                        \
        Pass_##iface(iface* target, std::string site, std::vector<std::string>& journal)          \
            : m_target(target), m_site(std::move(site)), m_journal(journal) {}                     \
        com::HRESULT QueryInterface(com::REFIID iid, void** ppv) override {                       \
            if (!ppv) return com::E_POINTER;                                                       \
            *ppv = nullptr;                                                                        \
            if (!(iid == IID_##iface) && !(iid == com::IID_IUnknown)) return com::E_NOINTERFACE;  \
            *ppv = this;                                                                           \
            AddRef();                                                                              \
            return com::S_OK;                                                                      \
        }                                                                                          \
        com::ULONG AddRef() override { return ++m_refs; }                                          \
        com::ULONG Release() override {                                                            \
            if (--m_refs) return m_refs;                                                           \
            m_journal.push_back(m_site + " release " #iface);                                     \
            m_target->Release();                                                                   \
            delete this;                                                                           \
            return 0;                                                                              \
        }                                                                                          \
        QOB_METHODS_##iface(QOB_PASS_METHOD)                                                       \
                                                                                                   \
    private:                                                                                       \
        iface* m_target;                                                                           \
        std::string m_site;                                                                        \
        std::vector<std::string>& m_journal;                                                       \
        com::ULONG m_refs = 1;                                                                     \
    };
QOB_INTERFACES(QOB_PASS_CLASS)
#undef QOB_PASS_CLASS
#undef QOB_PASS_METHOD

// A new server object of the site, each interface reached through the real proxy and stub with a
// pass-through in front of the server.
com::HRESULT ActivateJournaled(const std::shared_ptr<sim::Site>& site, const std::string& name,
                               std::vector<std::string>& journal, com::MULTI_QI* results, uint32_t count) {
    com::ComPtr<sim::CSimServer> server(sim::CSimServer::Create(site));
    if (!server) return com::E_OUTOFMEMORY;
    for (uint32_t i = 0; i < count; ++i) {
        com::MULTI_QI& r = results[i];
        com::IUnknown* pass = nullptr;
#define QOB_PASS_MAKE(index, iface, ...)                                                            \
    if (*r.pIID == IID_##iface) {                                                                   \
        void* target = nullptr;                                                                     \
        if (com::SUCCEEDED(server->QueryInterface(IID_##iface, &target)))                           \
            pass = new Pass_##iface(static_cast<iface*>(target), name, journal);                    \
    }
        QOB_INTERFACES(QOB_PASS_MAKE)
#undef QOB_PASS_MAKE
        r.pItf = nullptr;
        if (!pass) {
            r.hr = com::E_NOINTERFACE;
            continue;
        }
        void* itf = nullptr;
        r.hr = com::InProcConnect(pass, *r.pIID, &itf);
        r.pItf = static_cast<com::IUnknown*>(itf);
        pass->Release();
    }
    return com::S_OK;
}

class Teardown : public DownloadFixture {
protected:
    void JournaledSite(const std::string& name) {
        AddSite(name, 0x0480, 3, /*host=*/false);
        const SimSite& s = sites.back();
        com::RegisterInProcActivator(s.address, [this, site = s.site, name](com::REFCLSID, com::MULTI_QI* results,
                                                                            uint32_t count) {
            return ActivateJournaled(site, name, journal, results, count);
        });
    }
    std::vector<std::string> journal;
};

TEST_F(Teardown, AGivenUpConnectionClosesItsRelocatorFirstThenReleasesItsInterfacesInOrder) {
    JournaledSite("North");
    JournaledSite("South");
    JournaledSite("East");
    const auto releases = [](const std::string& site) {
        std::vector<std::string> out;
        for (const char* itf : {"IZentChangeI", "IZentControlI", "IZentGetI", "IZentITGTableSetupI", "IZentDeleteI",
                                "IZentONAI", "IZentOKLInterface"})
            out.push_back(site + " release " + itf);
        return out;
    };
    const auto last = [this](size_t n) {
        EXPECT_GE(journal.size(), n);
        return std::vector<std::string>(journal.end() - std::min(n, journal.size()), journal.end());
    };

    // The connection given up on goes first, then those already made, in order (one site at a
    // time: with more, the others let go side by side).
    doc.SetJobs(1);
    doc.m_sites[2].DayWhite = "wrong";
    ASSERT_FALSE(doc.Download());
    std::vector<std::string> expected = releases("East");
    for (const std::string site : {"North", "South"})
        for (const std::string& r : releases(site)) expected.push_back(r);
    EXPECT_EQ(last(expected.size()), expected);

    // With both relocation options a 4.8 connection holds its site's mailbox share open; the
    // mailbox check then fails (no SMB server here) and the share is closed before any release.
    doc.m_sites[2].DayWhite = "pw";
    doc.m_bRelocation = true;
    doc.m_bRelocateVM = true;
    journal.clear();
    ASSERT_FALSE(doc.Download());
    expected = {"North MailboxShare"};
    for (const std::string& r : releases("North")) expected.push_back(r);
    EXPECT_EQ(last(expected.size()), expected);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "North MailboxShare"), 2);  // opened, then closed
}

TEST_F(Teardown, AMatchingWithoutMemoryForItsWorkArraysKeepsTheList) {
    AddSite("North");
    AddSite("South");
    LinkAll();
    Add(*sites[0].site, Ext("100"));
    ASSERT_TRUE(doc.Download());
    doc.m_extList["100"].SyncStatus = 7;  // marks the row the matching would replace
    frame.updates.clear();
    frame.status.clear();

    g_failNextAllocation = true;
    doc.MatchExtensions();
    ASSERT_FALSE(g_failNextAllocation);
    EXPECT_EQ(frame.messages, std::vector<std::string>{"Failed to allocate memory!"});
    ASSERT_EQ(doc.m_extList.size(), 1u);
    EXPECT_EQ(doc.m_extList["100"].SyncStatus, 7);
    EXPECT_TRUE(frame.updates.empty());
    EXPECT_EQ(frame.status, "");
}

}  // namespace
