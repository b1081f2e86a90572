// What the connection hands to its relocator: relocation and the site's mailbox share.
#include "connection/SPDCOM.h"

namespace server {

bool CZentServDcom::RelocateExt(std::string_view number, CZentServ* other, bool copyMailbox) {
    if (m_pPlan && other) {
        // Planned as a whole: the relocation's many calls are its own business.
        PlannedCall planned;
        planned.site = m_strName;
        planned.method = "Relocate";
        planned.number = std::string(number);
        planned.source = other->GetName();
        planned.withMailbox = copyMailbox;
        m_pPlan->Add(std::move(planned));
        return true;
    }
    return m_pReloc ? m_pReloc->Relocate(number, other, copyMailbox) : false;
}

bool CZentServDcom::CheckMailboxAccess() {
    m_bMailboxChecked = m_pReloc && m_pReloc->CheckMailboxAccess();
    return m_bMailboxChecked;
}

int32_t CZentServDcom::GetMailboxSize(std::string_view number) {
    return m_pReloc ? m_pReloc->GetMailboxSize(number) : 0;
}

}  // namespace server
