#include "sim/Site.h"

#include <sys/stat.h>

#include <cstdio>

#include "platform/Trace.h"
#include "sim/Dump.h"
#include "sim/StateCodec.h"
#include "sim/StateFile.h"

namespace sim {

Site::Site(SiteState state, std::string path) : m_state(std::move(state)), m_path(std::move(path)) {}

std::shared_ptr<Site> Site::Open(const std::string& path, std::string& error) {
    std::string text;
    if (!ReadTextFile(path, kMaxStateText, text, error)) return nullptr;
    SiteState state;
    if (!ParseState(text, state, error)) {
        error = path + ": " + error;
        return nullptr;
    }
    return std::make_shared<Site>(std::move(state), path);
}

std::shared_ptr<Site> Site::FromJson(std::string_view text, std::string& error) {
    SiteState state;
    if (!ParseState(text, state, error)) return nullptr;
    return std::make_shared<Site>(std::move(state));
}

std::shared_ptr<Site> Site::Create(SiteState state, const std::string& path, bool overwrite, std::string& error) {
    struct stat st {};
    if (!overwrite && ::stat(path.c_str(), &st) == 0) {
        error = path + " exists already";
        return nullptr;
    }
    auto site = std::make_shared<Site>(std::move(state), path);
    std::lock_guard lock(site->m_mutex);
    if (!site->Save(error)) return nullptr;
    return site;
}

bool Site::Save(std::string& error) {
    if (m_path.empty()) return true;
    try {
        const std::string text = SerializeState(m_state);
        // The next start would refuse it, and the site with it.
        if (text.size() > kMaxStateText) {
            error = "cannot save " + m_path + ": the state would take " + std::to_string(text.size()) +
                    " bytes, more than the " + std::to_string(kMaxStateText) + " a state file may hold";
            return false;
        }
        if (WriteFileAtomic(m_path, text, error)) return true;
    } catch (const std::exception& e) {
        error = "cannot save " + m_path + ": " + e.what();
    }
    return false;
}

com::HRESULT Site::Commit(UndoLog& undo) {
    std::string error;
    if (Save(error)) return com::S_OK;
    undo.Rollback();
    m_lastSaveError = error;
    platform::TraceF("zentsim: %s", error.c_str());
    return kSaveFailed;
}

bool Site::Modify(const std::function<bool(SiteState&, std::string&)>& change, std::string& error) {
    std::lock_guard lock(m_mutex);
    return change(m_state, error) && Save(error);
}

bool Site::SetMethodFault(std::string_view method, std::optional<MethodFault> fault, std::string& error) {
    if (!IsNamedMethod(method)) {
        error = "\"" + std::string(method) + "\" is not a named method of the server interfaces";
        return false;
    }
    std::lock_guard lock(m_mutex);
    if (fault) m_state.faults.methods[std::string(method)] = *fault;
    else if (auto it = m_state.faults.methods.find(method); it != m_state.faults.methods.end()) m_state.faults.methods.erase(it);
    if (auto it = m_callCounts.find(method); it != m_callCounts.end()) it->second = 0;
    return Save(error);
}

std::optional<MethodFault> Site::CountCall(std::string_view method) {
    auto count = m_callCounts.find(method);
    if (count == m_callCounts.end()) count = m_callCounts.emplace(std::string(method), 0).first;
    const uint64_t n = ++count->second;
    auto fault = m_state.faults.methods.find(method);
    if (fault == m_state.faults.methods.end() || n <= fault->second.after) return std::nullopt;
    return fault->second;
}

void Site::Journal(std::string_view method, com::HRESULT result) {
    if (m_journal.size() >= kJournalLimit) m_journal.pop_front();
    m_journal.push_back({std::string(method), result});
    if (m_journalFile.empty()) return;
    if (std::FILE* f = std::fopen(m_journalFile.c_str(), "a")) {
        std::fprintf(f, "%.*s 0x%08X\n", int(method.size()), method.data(), static_cast<unsigned>(result));
        std::fclose(f);
    }
}

uint32_t Site::DelayMs() const {
    std::lock_guard lock(m_mutex);
    return m_state.faults.delayMs;
}

std::vector<CallRecord> Site::Calls() const {
    std::lock_guard lock(m_mutex);
    return {m_journal.begin(), m_journal.end()};
}

void Site::ClearCalls() {
    std::lock_guard lock(m_mutex);
    m_journal.clear();
}

std::string Site::LastSaveError() const {
    std::lock_guard lock(m_mutex);
    return m_lastSaveError;
}

std::string Site::DumpText() const {
    std::lock_guard lock(m_mutex);
    return DumpState(m_state).dump(2, ' ', false, nlohmann::detail::error_handler_t::replace) + "\n";
}

}  // namespace sim
