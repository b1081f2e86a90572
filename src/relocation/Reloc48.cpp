#include "platform/Strings.h"
#include "proxy/Interfaces.h"
#include "relocation/Reloc.h"
#include "server/ServProv.h"

namespace relocation {

CReloc48::~CReloc48() = default;

int32_t CReloc48::ShareMailbox(int8_t open, const std::string& account) {
    IZentControlI* control = m_pServer->GetControlInterface();
    if (!control) return -1;
    // The password is not sent.
    return control->MailboxShare(open, kMailboxShareName, kMailboxShareDirectory, account.c_str());
}

bool CReloc48::Open() {
    // The share is needed only to move mailboxes, which needs both options.
    const server::IConnectionOptions* options = m_pServer->Options();
    if (!options || !options->RelocateVM() || !options->Relocation()) return true;
    if (m_bShareOpen) return true;
    if (!m_pServer->GetControlInterface()) {
        // Nothing to ask the server with; not the operator's name at fault.
        m_pServer->SetLastError(platform::FormatString(46104, m_pServer->GetName()));
        return false;
    }
    std::string account, password;
    MailboxAccount(account, password);
    const int32_t result = ShareMailbox(1, account);
    if (result == 0) {
        m_bShareOpen = true;
        m_strShareAccount = account;
        return true;
    }
    m_pServer->SetLastError(platform::FormatString(result == 170 ? 44627 : 44628, m_pServer->GetName()));
    return false;
}

bool CReloc48::Close() {
    if (m_bShareOpen) {
        ShareMailbox(0, m_strShareAccount);
        m_bShareOpen = false;
    }
    return true;
}

bool CReloc48::Relocate(std::string_view number, server::CZentServ* source, bool copyMailbox) {
    return RelocateCommon(number, source, copyMailbox, true);
}

void CReloc48::MergeExtRec(server::ExtRec copy, server::CZentServ* source) { MergeExtRanges(copy, source, true); }

void CReloc48::MergeGroupRec(server::WORKGRPREC copy, server::CZentServ* source) {
    MergeGroupRanges(copy, source, true);
}

}  // namespace relocation
