#include "server/ServProv.h"

#include <cstring>
#include <exception>
#include <string_view>

#include "platform/Trace.h"
#include "server/ForwardTemplates.h"
#include "server/PasswordHash.h"

namespace server {

CZentServ::CZentServ(std::string name, std::string address, std::string password,
                     const IConnectionOptions* options)
    : m_strName(std::move(name)), m_strAddress(std::move(address)), m_strPassword(std::move(password)),
      m_cursor(m_summaries.end()), m_pOptions(options) {}

CZentServ::~CZentServ() = default;

const ExtSummary* CZentServ::GetFirstExt() {
    m_cursor = m_summaries.begin();
    return m_cursor == m_summaries.end() ? nullptr : &m_cursor->second;
}

const ExtSummary* CZentServ::GetNextExt() {
    if (m_cursor == m_summaries.end()) return nullptr;
    ++m_cursor;
    return m_cursor == m_summaries.end() ? nullptr : &m_cursor->second;
}

CZentServ::HeldExt CZentServ::GetFirstHeldExt() {
    m_cursor = m_summaries.begin();
    return HeldAtCursor(true);
}

CZentServ::HeldExt CZentServ::GetNextHeldExt() {
    if (m_cursor == m_summaries.end()) return {};
    ++m_cursor;
    return HeldAtCursor(false);
}

CZentServ::HeldExt CZentServ::HeldAtCursor(bool first) {
    if (m_cursor == m_summaries.end()) return {};
    return {&m_cursor->second, RecordAlongside(m_cursor->first, first)};
}

ConstExtRec CZentServ::RecordAlongside(std::string_view number, bool) { return FindExtRec(number); }

const ExtSummary* CZentServ::FindExt(std::string_view number) const {
    auto it = m_summaries.find(number);
    return it == m_summaries.end() ? nullptr : &it->second;
}

ExtSummary* CZentServ::FindSummary(std::string_view number) {
    auto it = m_summaries.find(number);
    return it == m_summaries.end() ? nullptr : &it->second;
}

int32_t CZentServ::SendChange(std::string_view method, std::string_view number, const std::uint8_t* data, size_t size,
                              std::span<const std::uint8_t> before, const std::function<int32_t()>& call) {
    if (m_pPlan) {
        PlannedCall planned;
        planned.site = m_strName;
        planned.method = std::string(method);
        planned.number = std::string(number);
        planned.data.assign(data, data + size);
        m_pPlan->Add(std::move(planned));
        return 0;
    }
    uint64_t entry = 0;
    if (m_pJournal) {
        std::string error;
        if (!m_pJournal->Before({m_strName, method, number, before, {data, size}}, entry, error)) {
            m_strLastError = error;
            return kNotJournalled;
        }
    }
    const int32_t hr = call();
    if (m_pJournal) m_pJournal->After(entry, hr, IsLostAnswer(hr), {data, size});
    return hr;
}

bool CZentServ::AddExt(const ExtSummary* summary, CZentServ* source) {
    if (!summary) return false;
    const ExtSummary sent = *summary;  // the caller may pass one of this connection's own summaries
    if (!DoAddExt(&sent, source)) return false;
    m_summaries.insert_or_assign(std::string(FieldText(sent.ExtensionNumber)), sent);
    return true;
}

bool CZentServ::ReplaceExt(const ExtSummary* summary, CZentServ* source) {
    if (!summary) return false;
    const ExtSummary sent = *summary;
    if (!DoReplaceExt(&sent, source)) return false;
    m_summaries.insert_or_assign(std::string(FieldText(sent.ExtensionNumber)), sent);
    return true;
}

bool CZentServ::DeleteExt(const ExtSummary* summary) {
    if (!summary) return false;
    const ExtSummary sent = *summary;
    if (!DoDeleteExt(&sent)) return false;
    auto it = m_summaries.find(FieldText(sent.ExtensionNumber));
    if (it != m_summaries.end()) {
        if (m_cursor == it) m_cursor = m_summaries.end();
        m_summaries.erase(it);
    }
    return true;
}

bool CZentServ::IsValidMailSuffix(const std::string& suffix) { return !TrimBlanks(suffix).empty(); }

void CZentServ::SetMailboxAccount(const std::string& account, const std::string& password) {
    m_strMBAccount = TrimBlanks(account);
    m_strMBPassword = TrimBlanks(password);
}

int CZentServ::PasswordCompare(const char* stored, const char* clear) {
    try {
        const std::string_view h = stored ? stored : "";
        char hash[kPasswordHashSize];
        HashPassword(clear ? clear : "", h.substr(0, 2), hash);
        return h == hash ? 0 : 1;
    } catch (...) {
        platform::Trace("Exception in CZentServ::PasswordCompare()\n");
        return 1;
    }
}

void CZentServ::PasswordCopy(char dest[13], const char* clear) {
    if (!dest) return;
    try {
        const std::string_view k = clear ? clear : "";
        SaltRandom rng;
        const char salt[2] = {static_cast<char>(static_cast<unsigned char>('A' + k.size())),
                              static_cast<char>('A' + rng.Below(26))};
        char hash[kPasswordHashSize];
        HashPassword(k, std::string_view(salt, 2), hash);
        std::memcpy(dest, hash, kPasswordHashSize);
    } catch (...) {
        platform::Trace("Exception in CZentServ::PasswordCopy()\n");
        dest[0] = '\0';
    }
}

}  // namespace server
