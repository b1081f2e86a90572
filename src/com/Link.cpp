#include "com/Link.h"

#include <algorithm>

#include "com/Association.h"
#include "com/RpcError.h"

namespace com {
namespace {

thread_local LinkPtr t_activationLink;

}  // namespace

void Link::Abort() {
    std::lock_guard lock(m_mutex);
    // Flags first: an association that connects after this sees them when it installs its socket.
    m_aborted = true;
    m_lost = true;
    for (Association* a : m_attached) a->Abort();
}

void Link::MarkLost(const std::string& why) {
    std::lock_guard lock(m_mutex);
    if (m_lost) return;
    m_why = why;
    m_lost = true;
}

HRESULT Link::Refuse(const std::string& endpoint) const {
    if (!m_lost) return S_OK;
    std::string text;
    {
        std::lock_guard lock(m_mutex);
        text = m_why;
    }
    if (text.empty()) text = endpoint.empty() ? "the connection was abandoned" : endpoint + ": the connection was abandoned";
    SetLastRpcErrorText(text + "; the call was not sent");
    return RPC_S_CALL_FAILED_DNE;
}

void Link::Attach(Association* association) {
    std::lock_guard lock(m_mutex);
    m_attached.push_back(association);
    if (m_aborted) association->Abort();
}

void Link::Detach(Association* association) {
    std::lock_guard lock(m_mutex);
    m_attached.erase(std::remove(m_attached.begin(), m_attached.end(), association), m_attached.end());
}

ActivationLinkScope::ActivationLinkScope(LinkPtr link) : m_previous(std::move(t_activationLink)) {
    t_activationLink = std::move(link);
}

ActivationLinkScope::~ActivationLinkScope() { t_activationLink = std::move(m_previous); }

LinkPtr CurrentActivationLink() { return t_activationLink; }

}  // namespace com
