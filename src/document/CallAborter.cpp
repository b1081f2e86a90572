#include "document/CallAborter.h"

#include <algorithm>

#include "server/ServProv.h"

namespace document {

CCallAborter::CCallAborter(std::stop_token stop) {
    m_callback.emplace(std::move(stop), std::function<void()>([this] { AbortAll(); }));
}

// The callback is deregistered first: a stop request in progress on another thread finishes
// before the watched list goes.
CCallAborter::~CCallAborter() { m_callback.reset(); }

void CCallAborter::AbortAll() {
    std::lock_guard lock(m_mutex);
    m_stopped = true;
    for (server::CZentServ* conn : m_watched) conn->Abort();
}

void CCallAborter::Watch(server::CZentServ* conn) {
    if (!conn) return;
    std::lock_guard lock(m_mutex);
    m_watched.push_back(conn);
    if (m_stopped) conn->Abort();
}

void CCallAborter::Forget(server::CZentServ* conn) {
    std::lock_guard lock(m_mutex);
    m_watched.erase(std::remove(m_watched.begin(), m_watched.end(), conn), m_watched.end());
}

}  // namespace document
