#include "document/Engine.h"

#include <utility>

#include "document/QOBDoc.h"
#include "platform/AppProfile.h"

namespace {

constexpr const char* kJobsEntry = "Jobs";

}  // namespace

CEngine::~CEngine() {
    Cancel();
    Wait();
}

bool CEngine::Start(Command command, Completion done) {
    std::unique_lock lock(m_mutex);
    if (m_bBusy) return false;
    m_bBusy = true;
    // The previous thread has finished its work already (busy went false as its last step); join
    // it before its object is replaced.
    if (m_thread.joinable()) m_thread.join();
    m_thread = std::jthread([this, command = std::move(command), done = std::move(done)](std::stop_token token) mutable {
        Run(std::move(token), std::move(command), std::move(done));
    });
    return true;
}

void CEngine::Run(std::stop_token token, Command command, Completion done) {
    if (command) command(token);
    if (done) done();
    {
        std::lock_guard lock(m_mutex);
        m_bBusy = false;
    }
    m_idle.notify_all();
}

void CEngine::Cancel() {
    std::lock_guard lock(m_mutex);
    if (m_bBusy) m_thread.request_stop();
}

bool CEngine::Busy() const {
    std::lock_guard lock(m_mutex);
    return m_bBusy;
}

bool CEngine::Wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(lock, timeout, [this] { return !m_bBusy; });
}

void CEngine::Wait() {
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_bBusy; });
    // Nothing but the thread's return is left once busy went false.
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

int LoadJobsSetting() {
    const uint32_t jobs = platform::GetProfileInt(kJobsEntry, CQOBDoc::kDefaultJobs);
    return jobs >= 1 && jobs <= static_cast<uint32_t>(CQOBDoc::kMaxJobs) ? static_cast<int>(jobs) : CQOBDoc::kDefaultJobs;
}

bool SaveJobsSetting(int jobs) {
    if (jobs < 1 || jobs > CQOBDoc::kMaxJobs) return false;
    return platform::WriteProfileInt(kJobsEntry, static_cast<uint32_t>(jobs));
}
