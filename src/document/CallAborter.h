// A Cancel reaches the calls in flight: while a command runs, the connections in a call are
// watched, and a stop request aborts every one of them from whatever thread asked for the stop.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <vector>

namespace server {
class CZentServ;
}

namespace document {

class CCallAborter {
public:
    explicit CCallAborter(std::stop_token stop);
    ~CCallAborter();
    CCallAborter(const CCallAborter&) = delete;
    CCallAborter& operator=(const CCallAborter&) = delete;

    // A connection watched after the stop is aborted at once.
    void Watch(server::CZentServ* conn);
    // Before a connection is destroyed: no abort reaches it from then on.
    void Forget(server::CZentServ* conn);

    // Watches a connection for as long as it is in a call (a stop aborts only what is in flight:
    // an idle connection stays usable). No aborter: nothing is watched.
    class Busy {
    public:
        Busy(CCallAborter* aborter, server::CZentServ* conn) : m_aborter(aborter), m_conn(conn) {
            if (m_aborter) m_aborter->Watch(m_conn);
        }
        ~Busy() {
            if (m_aborter) m_aborter->Forget(m_conn);
        }
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;

    private:
        CCallAborter* m_aborter;
        server::CZentServ* m_conn;
    };

private:
    void AbortAll();

    std::mutex m_mutex;
    std::vector<server::CZentServ*> m_watched;
    bool m_stopped = false;
    std::optional<std::stop_callback<std::function<void()>>> m_callback;  // last: gone first
};

}  // namespace document
