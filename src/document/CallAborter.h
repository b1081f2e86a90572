// A Cancel reaches the calls in flight: while a command runs, its connections are watched, and a
// stop request aborts every one of them from whatever thread asked for the stop.
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

private:
    void AbortAll();

    std::mutex m_mutex;
    std::vector<server::CZentServ*> m_watched;
    bool m_stopped = false;
    std::optional<std::stop_callback<std::function<void()>>> m_callback;  // last: gone first
};

}  // namespace document
