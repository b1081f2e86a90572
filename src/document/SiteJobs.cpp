#include "document/SiteJobs.h"

#include <algorithm>
#include <chrono>

namespace document {

CSiteJobs::CSiteJobs(size_t count, int jobs, std::stop_token stop, std::function<void(size_t)> work)
    : m_work(std::move(work)), m_stop(std::move(stop)), m_inline(jobs <= 1 || count <= 1), m_state(count, State::Waiting) {
    if (m_inline) return;
    const size_t threads = std::min(count, static_cast<size_t>(jobs));
    m_threads.reserve(threads);
    for (size_t t = 0; t < threads; ++t) m_threads.emplace_back([this] { Worker(); });
}

CSiteJobs::~CSiteJobs() {
    SkipRest();
    for (std::jthread& t : m_threads) t.join();
}

bool CSiteJobs::Take(size_t& index) {
    std::lock_guard lock(m_mutex);
    while (m_next < m_state.size() && m_state[m_next] != State::Waiting) ++m_next;
    if (m_next == m_state.size()) return false;
    if (m_skip || m_stop.stop_requested()) {
        for (size_t i = m_next; i < m_state.size(); ++i)
            if (m_state[i] == State::Waiting) m_state[i] = State::Skipped;
        m_next = m_state.size();
        m_changed.notify_all();
        return false;
    }
    index = m_next++;
    m_state[index] = State::Running;
    return true;
}

void CSiteJobs::Worker() {
    size_t index = 0;
    while (Take(index)) {
        m_work(index);
        std::lock_guard lock(m_mutex);
        m_state[index] = State::Done;
        ++m_finished;
        m_changed.notify_all();
    }
}

bool CSiteJobs::Wait(size_t i, const std::function<void()>& waiting, int tickMs) {
    if (i >= m_state.size()) return false;
    if (m_inline) {
        {
            std::lock_guard lock(m_mutex);
            if (m_state[i] != State::Waiting) return m_state[i] == State::Done;
            if (m_skip || m_stop.stop_requested()) {
                m_state[i] = State::Skipped;
                return false;
            }
            m_state[i] = State::Running;
        }
        m_work(i);
        std::lock_guard lock(m_mutex);
        m_state[i] = State::Done;
        ++m_finished;
        return true;
    }
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_state[i] == State::Done) return true;
        if (m_state[i] == State::Skipped) return false;
        if (m_changed.wait_for(lock, std::chrono::milliseconds(tickMs)) == std::cv_status::timeout && waiting) {
            lock.unlock();
            waiting();
            lock.lock();
        }
    }
}

void CSiteJobs::SkipRest() {
    std::lock_guard lock(m_mutex);
    m_skip = true;
    for (State& s : m_state)
        if (s == State::Waiting) s = State::Skipped;
    m_changed.notify_all();
}

size_t CSiteJobs::Finished() const {
    std::lock_guard lock(m_mutex);
    return m_finished;
}

void ForEachSite(size_t count, int jobs, const std::function<void(size_t)>& fn) {
    CSiteJobs run(count, jobs, {}, fn);
    for (size_t i = 0; i < count; ++i) run.Wait(i);
}

}  // namespace document
