// IZentControlI: resetting an extension and sharing the mailbox directory.
#include "ServeCall.h"

#include <strings.h>

#include "platform/CodePage.h"

namespace sim {

namespace {

// Plain Win32 codes, as the server answers MailboxShare (170 is ERROR_BUSY).
constexpr com::HRESULT kShareInUse = 170;
constexpr com::HRESULT kAccountRefused = 1326;  // ERROR_LOGON_FAILURE

bool SameAccount(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

}  // namespace

com::HRESULT CSimServer::ResetExtension(int32_t a1, const uint8_t* a2, int32_t* a3, uint8_t* a4) {
    return Serve(
        "ResetExtension",
        [&](SiteState& s, UndoLog&) -> com::HRESULT {
            if (!a2 || !a3 || !a4) return com::E_POINTER;
            const bool badLength = *a3 < 0 || a1 < 1 || a1 > int32_t(kMaxNumberLength);
            *a3 = 0;  // nothing to report back
            if (badLength) return com::E_INVALIDARG;
            const std::string number(reinterpret_cast<const char*>(a2), std::size_t(a1));
            if (!IsValidNumber(number)) return com::E_INVALIDARG;
            return s.FindRecord(number) ? com::S_OK : kNotFound;
        },
        [&] { ClearCount(a3); });
}

com::HRESULT CSimServer::MailboxShare(int8_t a1, const char* a2, const char* a3, const char* a4) {
    return Serve(
        "MailboxShare",
        [&](SiteState& s, UndoLog& undo) -> com::HRESULT {
            if (!a2 || !a3 || !a4) return com::E_POINTER;
            if (a1 != 0 && a1 != 1) return com::E_INVALIDARG;
            MailboxState& m = s.mailbox;
            const std::string account = platform::CodePageToUtf8(a4);
            if (a1 == 1) {
                if (s.faults.mailboxShareAnswer) return *s.faults.mailboxShareAnswer;
                if (!m.allowedAccounts.empty() &&
                    std::none_of(m.allowedAccounts.begin(), m.allowedAccounts.end(),
                                 [&](const std::string& a) { return SameAccount(a, account); }))
                    return kAccountRefused;
                if (m.open) return SameAccount(m.account, account) ? com::S_OK : kShareInUse;
            } else {
                if (!m.open) return com::S_OK;
                if (!SameAccount(m.account, account)) return kShareInUse;
            }
            undo.Add([&m, old = m] { m = old; });
            undo.Touched(TouchKind::Mailbox);
            m.open = a1 == 1;
            m.share = m.open ? platform::CodePageToUtf8(a2) : std::string{};
            m.path = m.open ? platform::CodePageToUtf8(a3) : std::string{};
            m.account = m.open ? account : std::string{};
            return m_site->Commit(undo);
        },
        [] {});
}

}  // namespace sim
