// Work on several sites at once: one piece of work per site, at most `jobs` running at a time,
// started in site order. The command's own thread takes the results one by one in site order,
// so what it logs and shows comes out exactly as a run one site after another would say it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace document {

class CSiteJobs {
public:
    // With jobs 1 nothing runs ahead: each piece of work runs on the caller's thread when it is
    // waited for, as before there were threads.
    CSiteJobs(size_t count, int jobs, std::stop_token stop, std::function<void(size_t)> work);
    // Work not yet started is skipped; work in progress is waited for.
    ~CSiteJobs();
    CSiteJobs(const CSiteJobs&) = delete;
    CSiteJobs& operator=(const CSiteJobs&) = delete;

    // Waits until site i's work has finished; `waiting` is called about every `tickMs` meanwhile
    // (on this thread). False when the work never ran: stopped or skipped before it started.
    bool Wait(size_t i, const std::function<void()>& waiting = {}, int tickMs = 250);
    // No work starts from now on (the command gives up).
    void SkipRest();
    // How many pieces of work have finished.
    size_t Finished() const;

private:
    enum class State : uint8_t { Waiting, Running, Done, Skipped };
    void Worker();
    bool Take(size_t& index);

    std::function<void(size_t)> m_work;
    std::stop_token m_stop;
    const bool m_inline;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<State> m_state;
    size_t m_next = 0;
    size_t m_finished = 0;
    bool m_skip = false;
    std::vector<std::jthread> m_threads;  // last: joined first on destruction
};

// Runs fn(i) for every i in [0, count), at most `jobs` at a time, and returns when all have run.
void ForEachSite(size_t count, int jobs, const std::function<void(size_t)>& fn);

}  // namespace document
