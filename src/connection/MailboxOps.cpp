// What the connection hands to its relocator: relocation and the site's mailbox share.
#include "connection/SPDCOM.h"

namespace server {

bool CZentServDcom::RelocateExt(std::string_view number, CZentServ* other, bool copyMailbox) {
    return m_pReloc ? m_pReloc->Relocate(number, other, copyMailbox) : false;
}

bool CZentServDcom::CheckMailboxAccess() { return m_pReloc ? m_pReloc->CheckMailboxAccess() : false; }

int32_t CZentServDcom::GetMailboxSize(std::string_view number) {
    return m_pReloc ? m_pReloc->GetMailboxSize(number) : 0;
}

}  // namespace server
