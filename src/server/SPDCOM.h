// CZentServDcom: the server connection carried out against the site's remote interfaces.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

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
    int GetGroupMembers(std::string_view group, std::vector<std::string>& list) override;
    bool RelocateExt(std::string_view number, CZentServ* other, bool copyMailbox) override;
    bool CheckMailboxAccess() override;
    int32_t GetMailboxSize(std::string_view number) override;
    ConstExtRec FindExtRec(std::string_view number) const override;
    ConstWORKGRPREC FindGroupRec(std::string_view number) const override;

    IZentControlI* GetControlInterface() const override { return m_pControl.Get(); }
    IZentGetI* GetGetInterface() const override { return m_pGet.Get(); }
    IZentChangeI* GetChangeInterface() const override { return m_pChange.Get(); }
    IZentDeleteI* GetDeleteInterface() const override { return m_pDelete.Get(); }
    IZentONAI* GetONAInterface() const override { return m_pONA.Get(); }
    IZentOKLInterface* GetOKLInterface() const override { return m_pOKL.Get(); }
    relocation::CReloc* GetRelocator() const { return m_pReloc.get(); }

    // The capacity offered for the next extension list, shared by every connection of the process.
    // It doubles after a list that did not fit, up to kMaxListCapacity.
    static constexpr uint32_t kMaxListCapacity = 81920000;
    static uint32_t ListCapacity();
    static void SetListCapacity(uint32_t bytes);  // tests

private:
    bool ConnectInterfaces();
    bool ReadSystemConfig();
    // A call that failed in the transport: the last error says which site and what happened.
    void NoteTransportFailure(com::HRESULT hr);
    bool TieTrunkCheck(const std::string& locationCode);
    void ReleaseLists();

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
    ListBuffer m_groupList;
    std::map<std::string, WORKGRPREC, std::less<>> m_groups;
};

// A connection to the site of that name, address (IPv4, network byte order) and passwords; none
// when it cannot be made.
std::unique_ptr<CZentServ> CreateServer(const std::string& name, uint32_t ip, const std::string& password,
                                        const std::string& mbAccount, const std::string& mbPassword,
                                        const IConnectionOptions& options);

}  // namespace server
