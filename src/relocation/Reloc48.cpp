#include "platform/Strings.h"
#include "proxy/Interfaces.h"
#include "relocation/Reloc.h"
#include "server/ServProv.h"

namespace relocation {

CReloc48::~CReloc48() = default;

int32_t CReloc48::ShareMailbox(int8_t open) {
    IZentControlI* control = m_pServer->GetControlInterface();
    if (!control) return -1;
    std::string account, password;
    MailboxAccount(account, password);  // the password is not sent
    return control->MailboxShare(open, kMailboxShareName, kMailboxShareDirectory, account.c_str());
}

bool CReloc48::Open() {
    const server::IConnectionOptions* options = m_pServer->Options();
    if (!options || !options->RelocateVM()) return true;
    if (m_bShareOpen) return true;
    const int32_t result = ShareMailbox(1);
    if (result == 0) {
        m_bShareOpen = true;
        return true;
    }
    m_pServer->SetLastError(platform::FormatString(result == 170 ? 44627 : 44628, m_pServer->GetName()));
    return false;
}

bool CReloc48::Close() {
    if (m_bShareOpen) {
        ShareMailbox(0);
        m_bShareOpen = false;
    }
    return true;
}

bool CReloc48::Relocate(std::string_view, server::CZentServ*, bool) { return NotAvailable("Relocation"); }
void CReloc48::MergeExtRec(server::ExtRec, server::CZentServ*) {}
void CReloc48::MergeGroupRec(server::WORKGRPREC, server::CZentServ*) {}

}  // namespace relocation
