#include "connection/SPDCOM.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <optional>

#include "com/Activation.h"
#include "com/RpcError.h"
#include "platform/RegReaders.h"
#include "platform/Trace.h"
#include "server/ForwardTemplates.h"
#include "server/RecordList.h"
#include "server/SysConfigTable.h"

namespace server {
namespace {

using platform::TraceF;

constexpr size_t kItgEntrySize = 520;


// Releases in the order the connection must: the caller lists them.
template <class T>
void ReleaseRef(com::ComPtr<T>& p) {
    p.Reset();
}

}  // namespace

CZentServDcom::CZentServDcom(std::string name, std::string address, std::string password,
                             const IConnectionOptions* options)
    : CZentServ(std::move(name), std::move(address), std::move(password), options),
      m_link(std::make_shared<com::Link>()) {}

CZentServDcom::~CZentServDcom() {
    if (m_pReloc) {
        m_pReloc->Close();
        m_pReloc.reset();
    }
    ReleaseRef(m_pChange);
    ReleaseRef(m_pControl);
    ReleaseRef(m_pGet);
    ReleaseRef(m_pITG);
    ReleaseRef(m_pDelete);
    ReleaseRef(m_pONA);
    ReleaseRef(m_pOKL);
    ReleaseLists();
    m_sysConfig.clear();
    m_itgTable.clear();
}

void CZentServDcom::Abort() {
    m_bConnectionLost = true;
    m_link->Abort();
}

namespace {

// What an activation's result says when no transport failure explains it.
const char* ActivationFailureText(com::HRESULT hr) {
    switch (static_cast<uint32_t>(hr)) {
    case 0x80004002u: return "the server answered with none of the interfaces asked for (E_NOINTERFACE)";
    case 0x80040154u: return "the server does not know the telephony server class (REGDB_E_CLASSNOTREG)";
    case 0x80070005u: return "the server refused the activation (E_ACCESSDENIED)";
    case 0x8007000Eu: return "the server had no memory for the object (E_OUTOFMEMORY)";
    case 0x80010110u: return "the server does not speak this DCOM version (RPC_E_VERSION_MISMATCH)";
    default: return nullptr;
    }
}

}  // namespace

bool CZentServDcom::ConnectInterfaces() {
    if (m_pControl || m_pGet || m_pChange) return true;
    // A lost site is not asked again, not even to connect.
    if (const com::HRESULT hr = m_link->Refuse(m_strAddress); com::FAILED(hr)) {
        NoteTransportFailure(hr);
        return false;
    }
    TraceF("Init Zentserv %s interfaces...\n", m_strName.c_str());
    TraceF("Get Zentserv %s interfaces via CoCreateInstanceEx()...\n", m_strName.c_str());

    static const com::IID* const kIids[7] = {&IID_IZentControlI,       &IID_IZentGetI,  &IID_IZentChangeI,
                                             &IID_IZentITGTableSetupI, &IID_IZentDeleteI, &IID_IZentONAI,
                                             &IID_IZentOKLInterface};
    static const char* const kNames[7] = {"IZentControlI", "IZentGetI", "IZentChangeI", "IZentITGTableSetupI",
                                          "IZentDeleteI",  "IZentONAI", "IZentOKLInterface"};
    com::MULTI_QI qi[7];
    for (int i = 0; i < 7; ++i) qi[i].pIID = kIids[i];
    const com::HRESULT hr = com::CoCreateInstanceEx(CLSID_ZentServer, m_strAddress, qi, 7, m_link);
    if (com::FAILED(hr)) {
        if (com::IsTransportFailure(hr)) {
            m_bConnectionLost = true;
            m_link->MarkLost(com::LastRpcErrorText());
        }
        TraceF("Failed to call CoCreateInstanceEx() in %s, hr = 0x%x\n", m_strName.c_str(), static_cast<unsigned>(hr));
        char text[160];
        std::snprintf(text, sizeof text, "Failed to connect to server %s, hr = 0x%x\n", m_strName.c_str(),
                      static_cast<unsigned>(hr));
        m_strLastError = text;
        // The code alone does not say what went wrong: the transport does, or the code's meaning.
        if (!com::LastRpcErrorText().empty()) m_strLastError += com::LastRpcErrorText() + "\n";
        else if (const char* meaning = ActivationFailureText(hr)) m_strLastError += std::string(meaning) + "\n";
        for (auto& q : qi)
            if (q.pItf) q.pItf->Release();
        return false;
    }
    TraceF("Get Zentserv %s interfaces successfully\n", m_strName.c_str());

    const char* empty = nullptr;
    auto take = [&](int i, auto& slot) {
        using T = std::remove_reference_t<decltype(*slot.Get())>;
        if (com::FAILED(qi[i].hr)) return;
        slot = com::ComPtr<T>(static_cast<T*>(qi[i].pItf));
        if (slot) TraceF("Interface %s is obtained in %s\n", kNames[i], m_strName.c_str());
        else if (i >= 4 && !empty) empty = kNames[i];  // IZentDeleteI, IZentONAI, IZentOKLInterface
    };
    take(0, m_pControl);
    take(1, m_pGet);
    take(2, m_pChange);
    take(3, m_pITG);
    take(4, m_pDelete);
    take(5, m_pONA);
    take(6, m_pOKL);
    if (empty) {
        // A success without a reference leaves nothing to call; say which one, or the user
        // would see an empty message.
        m_strLastError = "Failed to connect to server " + m_strName + ": it gave no " + empty + " interface.\n";
        return false;
    }
    return true;
}

void CZentServDcom::NoteTransportFailure(com::HRESULT hr) {
    if (!com::IsTransportFailure(hr)) return;
    char code[16];
    std::snprintf(code, sizeof code, "0x%x", static_cast<unsigned>(hr));
    std::string detail = com::LastRpcErrorText();
    if (detail.empty()) detail = "the call did not reach the server";
    const std::string step = m_step ? std::string(" while ") + m_step : std::string();
    m_strLastError = "Lost the connection to server " + m_strName + step + ": " + detail + " (hr = " + code + ")\n";
    m_bConnectionLost = true;
    m_link->MarkLost(detail);
}

bool CZentServDcom::ReadSystemConfig() {
    if (!m_sysConfig.empty()) return true;
    try {
        m_sysConfig.assign(syscfg::kSize, 0);
    } catch (const std::bad_alloc&) {
        platform::Trace("Alloc memory error while get system config table.\n");
        return false;
    }
    int32_t length = static_cast<int32_t>(syscfg::kSize);
    const Step step(*this, "reading its system configuration");
    const com::HRESULT hr = m_pGet ? m_pGet->GetSystemConfig(&length, m_sysConfig.data()) : com::E_POINTER;
    NoteTransportFailure(hr);
    if (com::FAILED(hr)) {
        m_sysConfig.clear();
        platform::Trace("Failed to get system config table.\n");
        return false;
    }
    return true;
}

bool CZentServDcom::Initialize() {
    // The caller shows the last error when this fails, so every way out says why.
    if (!ConnectInterfaces()) return false;
    if (!m_pGet) {
        m_strLastError = "Failed to connect to server " + m_strName + ": it gave no IZentGetI interface.\n";
        return false;
    }
    if (!ReadSystemConfig()) {
        if (!m_bConnectionLost) m_strLastError = "Failed to get the system configuration of server " + m_strName + ".\n";
        return false;
    }
    ConstSysConfigTable table(m_sysConfig.data(), m_sysConfig.size());
    m_nExtNumberLength = table.ExtNumberLength();
    m_wServerVersion = table.ServerVersion();
    try {
        if (m_wServerVersion == 0x0460) m_pReloc = std::make_unique<relocation::CReloc46>(this);
        else m_pReloc = std::make_unique<relocation::CReloc48>(this);
    } catch (const std::bad_alloc&) {
        char text[160];
        std::snprintf(text, sizeof text, "The version of server %s is  0x%04x, that cannot be supported by this tool.",
                      m_strName.c_str(), m_wServerVersion);
        m_strLastError = text;
        return false;
    }
    return m_pReloc->Open();
}

bool CZentServDcom::VerifyPassword(const std::string& password) {
    if (!m_pGet && (!ConnectInterfaces() || !m_pGet)) return false;
    if (!ReadSystemConfig()) return false;
    ConstSysConfigTable table(m_sysConfig.data(), m_sysConfig.size());
    const std::string stored(table.AdminPassword());
    if (PasswordCompare(stored.c_str(), password.c_str()) != 0) {
        platform::Trace("Failed to pass password verification.\n");
        return false;
    }
    return true;
}

bool CZentServDcom::IsVersionSupported() {
    if (!m_pGet && (!ConnectInterfaces() || !m_pGet)) return false;
    if (!ReadSystemConfig()) return false;
    ConstSysConfigTable table(m_sysConfig.data(), m_sysConfig.size());
    m_nExtNumberLength = table.ExtNumberLength();
    m_wServerVersion = table.ServerVersion();
    uint32_t low = 0, high = 0;
    const char* key = "SOFTWARE\\Korvex\\TarnManager\\";
    platform::ReadRegDWORD(key, "VersionLow", low, 0x0460, platform::RegRoot::LocalMachine);
    platform::ReadRegDWORD(key, "VersionHigh", high, 0x0500, platform::RegRoot::LocalMachine);
    return low <= m_wServerVersion && m_wServerVersion <= high;
}

bool CZentServDcom::IsValidAccessCode(const std::string& codeIn) {
    const std::string code = TrimBlanks(codeIn);
    if (code.empty()) return false;
    int32_t cls = -1;
    if (!m_sysConfig.empty()) cls = ConstSysConfigTable(m_sysConfig.data(), m_sysConfig.size()).DigitClass(code[0]);
    if (cls == syscfg::kClassDirect1 || cls == syscfg::kClassDirect6) return true;
    if (cls == syscfg::kClassTieTrunk) return code.size() > 1 && TieTrunkCheck(code.substr(1));
    return false;
}

bool CZentServDcom::TieTrunkCheck(const std::string& c) {
    if (c.size() > 3) return false;
    int v = 0;
    for (char ch : c) {
        if (ch < '0' || ch > '9') return false;
        v = v * 10 + (ch - '0');
    }
    if (!m_pITG && (!ConnectInterfaces() || !m_pITG)) return true;
    int32_t n = 0;
    const com::HRESULT hr = m_pITG->GetLocationCodeLength(&n);
    NoteTransportFailure(hr);
    if (hr == com::E_FAIL) return false;
    if (com::FAILED(hr)) return true;
    if (n <= 0 || static_cast<size_t>(n) != c.size()) return false;
    size_t entries = 1;
    for (int i = 0; i < n; ++i) entries *= 10;
    if (m_itgTable.empty()) {
        try {
            m_itgTable.assign(entries * kItgEntrySize, 0);
        } catch (const std::bad_alloc&) {
            return true;
        }
    }
    int32_t s = static_cast<int32_t>(m_itgTable.size());
    const com::HRESULT tableHr = m_pITG->GetITGTable(&s, m_itgTable.data());
    NoteTransportFailure(tableHr);
    if (com::FAILED(tableHr)) return true;
    if (s <= 0 || static_cast<size_t>(s) > m_itgTable.size() || static_cast<size_t>(s) % entries != 0) return true;
    const size_t offset = static_cast<size_t>(s) * static_cast<size_t>(v) / entries;
    return offset < m_itgTable.size() && m_itgTable[offset] != 0;
}

bool CZentServDcom::MatchForwardedExt(std::string_view number, CZentServ* other, const std::string& pattern,
                                      const std::string& suffix) {
    if (!other) return false;
    return MatchForwardedHeld(number, {FindSummary(number), FindExtRec(number)}, *other, other->FindExtRec(number),
                              pattern, suffix);
}

bool CZentServDcom::MatchForwardedHeld(std::string_view number, HeldExt own, CZentServ& other,
                                       ConstExtRec otherRecord, std::string_view pattern, std::string_view suffix) {
    if (number.empty() || !own.summary || !own.record || !otherRecord) return false;
    if (&other == this) return true;
    const ConstExtRec a = own.record;
    const ExtSummary& summary = *own.summary;
    const uint32_t feature = a.ExtFeatureFlagBank();
    const uint32_t status = a.ExtStatusFlagBank();
    const bool aBit = (status & extrec::kStatusMatchBit) != 0;
    const bool bBit = (otherRecord.ExtStatusFlagBank() & extrec::kStatusMatchBit) != 0;
    if (!(status & extrec::kStatusForwards) || !(feature & extrec::kFeatureForward) ||
        a.U8(extrec::kNotCopyMark) == 1 || a.ForwardTarget() != extrec::kForwardToDialString ||
        !MatchForwardNumber(FieldText(summary.FwdDialString), pattern, number))
        return false;
    if (!bBit) {
        // Voice mail goes to the home by e-mail only when the home's record does not carry the bit.
        const uint32_t both = extrec::kFeatureFwd10000 | extrec::kFeatureFwd40000;
        if ((feature & both) != both ||
            !MatchMailForward(FieldText(summary.FwdEmailAddr), suffix, FieldText(summary.EMailName)))
            return false;
    }
    if (aBit != bBit) return false;
    StoreFieldText(own.summary->HomeServer, other.GetName(), 32);
    return true;
}

ConstExtRec CZentServDcom::RecordAlongside(std::string_view number, bool first) {
    // Summaries and records are kept under the same numbers, so a walk in number order finds each
    // record a step or so after the last one.
    if (first || !m_bRecordWalkValid) {
        m_recordWalk = m_records.lower_bound(number);
        m_bRecordWalkValid = true;
    }
    while (m_recordWalk != m_records.end() && m_recordWalk->first < number) ++m_recordWalk;
    if (m_recordWalk == m_records.end() || m_recordWalk->first != number) return {};
    return ConstExtRec(m_recordWalk->second);
}

int CZentServDcom::GetGroupMembers(std::string_view group, std::vector<std::string>& list) {
    ConstWORKGRPREC g = FindGroupRec(group);
    if (!g) return 0;
    const size_t count = g.MemberCount();
    for (size_t i = 0; i < count; ++i) list.emplace_back(g.Member(i));
    return static_cast<int>(count);
}

ConstExtRec CZentServDcom::FindExtRec(std::string_view number) const {
    auto it = m_records.find(number);
    return it == m_records.end() ? ConstExtRec() : ConstExtRec(it->second);
}

ConstWORKGRPREC CZentServDcom::FindGroupRec(std::string_view number) const {
    auto it = m_groups.find(number);
    return it == m_groups.end() ? ConstWORKGRPREC() : ConstWORKGRPREC(it->second);
}

ExtRec CZentServDcom::HeldExtRec(std::string_view number) {
    auto it = m_records.find(number);
    return it == m_records.end() ? ExtRec() : it->second;
}

WORKGRPREC CZentServDcom::HeldGroupRec(std::string_view number) {
    auto it = m_groups.find(number);
    return it == m_groups.end() ? WORKGRPREC() : it->second;
}

std::unique_ptr<CZentServ> CreateServer(const std::string& name, uint32_t ip, const std::string& password,
                                        const std::string& mbAccount, const std::string& mbPassword,
                                        const IConnectionOptions& options) {
    char address[INET_ADDRSTRLEN] = {};
    in_addr addr{};
    addr.s_addr = ip;
    if (!inet_ntop(AF_INET, &addr, address, sizeof address)) return nullptr;
    try {
        auto conn = std::make_unique<CZentServDcom>(name, address, password, &options);
        conn->SetMailboxAccount(mbAccount, mbPassword);
        return conn;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace server
