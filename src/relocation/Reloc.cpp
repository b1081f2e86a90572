#include "relocation/Reloc.h"

#include "server/ServProv.h"

namespace relocation {

CReloc::~CReloc() = default;

void CReloc::MailboxAccount(std::string& account, std::string& password) const {
    account = m_pServer->GetMailboxAccount();
    password = m_pServer->GetMailboxPassword();
    if (account.empty() && m_pServer->Options()) {
        account = m_pServer->Options()->DefaultMBUser();
        password = m_pServer->Options()->DefaultMBPassword();
    }
}

bool CReloc::NotAvailable(const char* what) {
    m_pServer->SetLastError(std::string(what) + " is not available in this version of the program.");
    return false;
}

void CReloc::CopyMailbox(std::string_view, server::CZentServ*) {}

bool CReloc::CheckMailboxAccess() { return NotAvailable("Access to the mailbox share"); }

int32_t CReloc::GetMailboxSize(std::string_view) { return 0; }

bool CReloc46::Relocate(std::string_view, server::CZentServ*, bool) { return NotAvailable("Relocation"); }
void CReloc46::MergeExtRec(server::ExtRec, server::CZentServ*) {}
void CReloc46::MergeGroupRec(server::WORKGRPREC, server::CZentServ*) {}

}  // namespace relocation
