// CZentServDcom: the server connection carried out against the site's remote interfaces.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "com/Link.h"
#include "com/RpcError.h"
#include "com/Unknown.h"
#include "proxy/Interfaces.h"
#include "relocation/Reloc.h"
#include "server/ListBuffer.h"
#include "server/ServProv.h"

namespace server {

class CZentServDcom : public CZentServ {
public:
    CZentServDcom(std::string name, std::string address, std::string password, const IConnectionOptions* options);
    ~CZentServDcom() override;

    bool LoadExtensions() override;
    bool Initialize() override;
    bool IsValidAccessCode(const std::string& code) override;
    bool VerifyPassword(const std::string& password) override;
    bool IsVersionSupported() override;
    bool MatchForwardedExt(std::string_view number, CZentServ* other, const std::string& pattern,
                           const std::string& suffix) override;
    bool MatchForwardedHeld(std::string_view number, HeldExt own, CZentServ& other, ConstExtRec otherRecord,
                            std::string_view pattern, std::string_view suffix) override;
    int GetGroupMembers(std::string_view group, std::vector<std::string>& list) override;
    bool RelocateExt(std::string_view number, CZentServ* other, bool copyMailbox) override;
    // A call that failed in the transport: the last error says which site and what happened,
    // and the site counts as lost from now on.
    bool RestoreExtRec(std::string_view number, std::span<const uint8_t> record) override;
    bool RestoreGroupRec(std::string_view number, std::span<const uint8_t> record) override;
    void NoteTransportFailure(com::HRESULT hr) override;
    bool IsLostAnswer(int32_t hr) const override { return com::IsTransportFailure(hr); }
    bool CheckMailboxAccess() override;
    int32_t GetMailboxSize(std::string_view number) override;
    ConstExtRec FindExtRec(std::string_view number) const override;
    ConstWORKGRPREC FindGroupRec(std::string_view number) const override;

    // Shuts down the sockets of the call in flight (from any thread, also while the destructor
    // waits on its releases); every later remote operation fails at once, without contacting the
    // site, and the destructor releases nothing there.
    void Abort() override;

    bool DoAddExt(const ExtSummary* summary, CZentServ* source) override;
    bool DoReplaceExt(const ExtSummary* summary, CZentServ* source) override;
    bool DoDeleteExt(const ExtSummary* summary) override;
    // The server's answers to membership requests are not relied on, except the closing answer of
    // an add.
    void RemoveFromGroups(std::string_view number, std::string_view group = {}) override;
    void AddToGroup(std::string_view number, std::string_view group) override;
    ExtRec HeldExtRec(std::string_view number) override;
    WORKGRPREC HeldGroupRec(std::string_view number) override;

    IZentControlI* GetControlInterface() const override { return m_pControl.Get(); }
    IZentGetI* GetGetInterface() const override { return m_pGet.Get(); }
    IZentChangeI* GetChangeInterface() const override { return m_pChange.Get(); }
    IZentDeleteI* GetDeleteInterface() const override { return m_pDelete.Get(); }
    IZentONAI* GetONAInterface() const override { return m_pONA.Get(); }
    IZentOKLInterface* GetOKLInterface() const override { return m_pOKL.Get(); }
    relocation::CReloc* GetRelocator() const { return m_pReloc.get(); }

    // The capacity offered for an extension list, shared by every connection of the process. It
    // doubles after a list that did not fit, up to kMaxListCapacity, and never shrinks. A site
    // loaded before in this process is offered at least a quarter more than its list was then.
    static constexpr uint32_t kMaxListCapacity = 81920000;
    static uint32_t ListCapacity();
    // As in a fresh process: the shared capacity set, no site's list remembered (tests).
    static void SetListCapacity(uint32_t bytes);

protected:
    ConstExtRec RecordAlongside(std::string_view number, bool first) override;

private:
    bool ConnectInterfaces();
    bool ReadSystemConfig();
    bool TieTrunkCheck(const std::string& locationCode);
    // After the workgroup of a group was deleted and its pilot was not: the workgroup created
    // again with the record held before (`held`). What happened, as the end of a message.
    std::string PutBackWorkgroup(const std::string& number, const std::vector<uint8_t>& held);
    // A workgroup the server does not hold created there (again), and a record kept for it here:
    // `settings` when given, else what the server answered. `hr` is the creation's answer; the
    // record is invalid when the creation failed or there was no memory for it.
    WORKGRPREC CreateGroupAgain(const std::string& number, std::span<const uint8_t> settings, com::HRESULT& hr);
    void ReleaseLists();

    // Record storage: a new record goes into its list buffer's spare capacity when a whole
    // record still fits there, else into a zero-filled block of its own (`block`). It is built
    // in place and kept (Keep...) only once the server took it; until then the spare capacity
    // stays spare and the block is the caller's.
    ExtRec NewExtRec(std::unique_ptr<uint8_t[]>& block);
    void KeepExtRec(std::string_view number, ExtRec rec, std::unique_ptr<uint8_t[]> block);
    void ReleaseExtRec(std::string_view number);
    WORKGRPREC NewGroupRec(std::unique_ptr<uint8_t[]>& block);
    void KeepGroupRec(std::string_view number, WORKGRPREC rec, std::unique_ptr<uint8_t[]> block);
    void ReleaseGroupRec(std::string_view number);
    // The record and the workgroup held under a number, as a journal's "before" (empty: none).
    std::span<const uint8_t> HeldBytes(std::string_view number) const;
    std::span<const uint8_t> HeldGroupBytes(std::string_view number) const;
    // A membership request and its closing request; the closing request's answer.
    com::HRESULT SendMembership(std::string_view number, std::string_view group, int32_t operation);
    // Sets the last error (and writes it to the trace unless told not to); a call that did not
    // reach the server adds what the transport said.
    void ChangeMessage(std::string text, com::HRESULT hr = com::S_OK, bool trace = true);

    // What the connection is doing while it sets up, named in the message of a transport failure
    // ("reading its extension list"); null when the operation's own message says it.
    class Step {
    public:
        Step(CZentServDcom& c, const char* what) : m_c(c), m_was(c.m_step) { c.m_step = what; }
        ~Step() { m_c.m_step = m_was; }
        Step(const Step&) = delete;
        Step& operator=(const Step&) = delete;

    private:
        CZentServDcom& m_c;
        const char* m_was;
    };
    const char* m_step = nullptr;

    // Every association and channel of this connection's calls; declared first, so it outlives
    // them all, also while an Abort from another thread meets the destructor.
    const com::LinkPtr m_link;
    std::unique_ptr<relocation::CReloc> m_pReloc;
    com::ComPtr<IZentControlI> m_pControl;
    com::ComPtr<IZentGetI> m_pGet;
    com::ComPtr<IZentChangeI> m_pChange;
    com::ComPtr<IZentITGTableSetupI> m_pITG;
    com::ComPtr<IZentDeleteI> m_pDelete;
    com::ComPtr<IZentONAI> m_pONA;
    com::ComPtr<IZentOKLInterface> m_pOKL;

    std::vector<uint8_t> m_sysConfig;  // empty until read
    std::vector<uint8_t> m_itgTable;   // empty until first used
    // The received extension list: one buffer of the capacity it was fetched with, records inside.
    ListBuffer m_extList;
    size_t m_extUsed = 0;
    std::map<std::string, ExtRec, std::less<>> m_records;
    // Where the walk alongside the summaries stands in m_records; not valid once a record was
    // released (its entry may be gone), and the next step then finds its place again.
    std::map<std::string, ExtRec, std::less<>>::const_iterator m_recordWalk;
    bool m_bRecordWalkValid = false;
    // Records the program created that did not fit into the spare capacity of their list.
    std::map<std::string, std::unique_ptr<uint8_t[]>, std::less<>> m_ownRecords;
    ListBuffer m_groupList;
    size_t m_groupUsed = 0;
    std::map<std::string, WORKGRPREC, std::less<>> m_groups;
    std::map<std::string, std::unique_ptr<uint8_t[]>, std::less<>> m_ownGroups;
};

// A connection to the site of that name, address (IPv4, network byte order) and passwords; none
// when it cannot be made.
std::unique_ptr<CZentServ> CreateServer(const std::string& name, uint32_t ip, const std::string& password,
                                        const std::string& mbAccount, const std::string& mbPassword,
                                        const IConnectionOptions& options);

}  // namespace server
