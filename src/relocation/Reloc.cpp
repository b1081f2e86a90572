#include "relocation/Reloc.h"

#include "platform/FileShares.h"
#include "relocation/MailboxPaths.h"
#include "server/ServProv.h"

namespace relocation {

CReloc::~CReloc() { platform::DisconnectShare(MailboxSharePath(m_pServer->GetAddress())); }

void CReloc::MailboxAccount(std::string& account, std::string& password) const {
    account = m_pServer->GetMailboxAccount();
    password = m_pServer->GetMailboxPassword();
    if (account.empty() && m_pServer->Options()) {
        account = m_pServer->Options()->DefaultMBUser();
        password = m_pServer->Options()->DefaultMBPassword();
    }
}

bool CReloc::SameVersion(server::CZentServ* source) const {
    uint16_t mine = 0, theirs = 0, length = 0;
    m_pServer->GetVersionInfo(mine, length);
    source->GetVersionInfo(theirs, length);
    return mine == theirs;
}

bool CReloc46::Relocate(std::string_view number, server::CZentServ* source, bool copyMailbox) {
    return RelocateCommon(number, source, copyMailbox, false);
}

void CReloc46::MergeExtRec(server::ExtRec copy, server::CZentServ* source) { MergeExtRanges(copy, source, false); }

void CReloc46::MergeGroupRec(server::WORKGRPREC copy, server::CZentServ* source) {
    MergeGroupRanges(copy, source, false);
}

}  // namespace relocation
