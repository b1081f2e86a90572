// CZentServ: one connection to one site's telephony server, as every other part of the program
// sees it. It holds the site's identity and the per-extension summaries; CZentServDcom carries
// the operations out against the server's remote interfaces.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "server/ChangeJournal.h"
#include "server/ChangePlan.h"
#include "server/ExtRec.h"
#include "server/ExtSummary.h"
#include "server/WorkgrpRec.h"

class IZentControlI;
class IZentGetI;
class IZentChangeI;
class IZentITGTableSetupI;
class IZentDeleteI;
class IZentONAI;
class IZentOKLInterface;

namespace server {

// What a connection reads from the document's options at the time it needs them.
class IConnectionOptions {
public:
    virtual bool RelocateVM() const = 0;
    virtual std::string DefaultMBUser() const = 0;
    virtual std::string DefaultMBPassword() const = 0;
    virtual bool Relocation() const { return true; }
    // The directory that stands for the program's current directory (the local probe file lives
    // there); empty: the current directory itself.
    virtual std::string WorkDir() const { return {}; }

protected:
    ~IConnectionOptions() = default;
};

class CZentServ {
public:
    // Summaries by number, ascending in byte order of the number text.
    using SummaryMap = std::map<std::string, ExtSummary, std::less<>>;

    CZentServ(std::string name, std::string address, std::string password,
              const IConnectionOptions* options = nullptr);
    virtual ~CZentServ();
    CZentServ(const CZentServ&) = delete;
    CZentServ& operator=(const CZentServ&) = delete;

    virtual bool LoadExtensions() = 0;
    virtual bool Initialize() = 0;
    virtual const ExtSummary* GetFirstExt();
    virtual const ExtSummary* GetNextExt();
    // One extension as the walk over the list reaches it: its summary (open to change, as the
    // matching records the home there) and the record held under the same number (invalid when
    // none). No summary: the walk is at its end.
    struct HeldExt {
        ExtSummary* summary = nullptr;
        ConstExtRec record;
    };
    // GetFirstExt and GetNextExt on the same cursor, each summary handed out with its record,
    // found without a lookup: the matching's one pass over every site's list.
    HeldExt GetFirstHeldExt();
    HeldExt GetNextHeldExt();
    virtual const ExtSummary* FindExt(std::string_view number) const;
    virtual bool IsValidMailSuffix(const std::string& suffix);
    virtual bool IsValidAccessCode(const std::string& code) = 0;
    virtual bool VerifyPassword(const std::string& password) = 0;
    virtual bool IsVersionSupported() = 0;
    // Whether this server's record of the number is a forwarding copy of `other`'s; when it is,
    // the summary's home server becomes other's name.
    virtual bool MatchForwardedExt(std::string_view number, CZentServ* other, const std::string& pattern,
                                   const std::string& suffix) = 0;
    // The same test for a caller that already holds both sides: `own` is this connection's
    // summary and record of the number, `otherRecord` other's record of it.
    virtual bool MatchForwardedHeld(std::string_view number, HeldExt own, CZentServ& other, ConstExtRec otherRecord,
                                    std::string_view pattern, std::string_view suffix) = 0;
    virtual int GetGroupMembers(std::string_view group, std::vector<std::string>& list) = 0;
    virtual bool RelocateExt(std::string_view number, CZentServ* other, bool copyMailbox) = 0;

    // Change operations (the server work is the Do... operations'): each keeps the summaries in
    // step once the server confirmed. The summary describes the extension as it is to appear on
    // this server; the source is the extension's home site. A missing summary gives false.
    bool AddExt(const ExtSummary* summary, CZentServ* source);
    bool ReplaceExt(const ExtSummary* summary, CZentServ* source);
    bool DeleteExt(const ExtSummary* summary);
    virtual bool DoAddExt(const ExtSummary* summary, CZentServ* source) = 0;
    virtual bool DoReplaceExt(const ExtSummary* summary, CZentServ* source) = 0;
    virtual bool DoDeleteExt(const ExtSummary* summary) = 0;

    // Putting a record or a workgroup back as it was (an undo): `record` is the whole record as
    // the site held it before, empty when it had none (the one it holds now is then deleted).
    // The held records follow the server; the summaries are not kept (download again after).
    virtual bool RestoreExtRec(std::string_view /*number*/, std::span<const std::uint8_t> /*record*/) { return false; }
    virtual bool RestoreGroupRec(std::string_view /*number*/, std::span<const std::uint8_t> /*record*/) { return false; }

    // With a plan, change calls (and relocations) are recorded there instead of sent; none: sent.
    void SetPlan(CChangePlan* plan) { m_pPlan = plan; }
    CChangePlan* GetPlan() const { return m_pPlan; }
    // With a journal, every change is written there before it is sent; none: sent unjournalled.
    void SetJournal(IChangeJournal* journal) { m_pJournal = journal; }
    IChangeJournal* GetJournal() const { return m_pJournal; }
    // Every change this connection (or its relocator) sends goes through here: into the plan when
    // there is one (answered S_OK); else into the journal first (kNotJournalled, with the reason
    // in the last error, when that fails: nothing is sent), then `call`, whose answer is
    // journalled. `data` is the request, holding the reply's bytes after the call; `before` the
    // record as this connection holds it.
    int32_t SendChange(std::string_view method, std::string_view number, const std::uint8_t* data, size_t size,
                       std::span<const std::uint8_t> before, const std::function<int32_t()>& call);

    virtual bool CheckMailboxAccess() = 0;
    virtual int32_t GetMailboxSize(std::string_view number) = 0;

    // The records held under exactly that number (invalid views when none).
    virtual ConstExtRec FindExtRec(std::string_view number) const = 0;
    virtual ConstWORKGRPREC FindGroupRec(std::string_view number) const = 0;
    // The same, writable: the relocator keeps them equal to what it sent the server.
    virtual ExtRec HeldExtRec(std::string_view) { return ExtRec(); }
    virtual WORKGRPREC HeldGroupRec(std::string_view) { return WORKGRPREC(); }
    // Workgroup membership on this server: takes the number out of every held workgroup (or only
    // `group`), or puts it into one.
    virtual void RemoveFromGroups(std::string_view /*number*/, std::string_view /*group*/ = {}) {}
    virtual void AddToGroup(std::string_view /*number*/, std::string_view /*group*/) {}
    // Whether this site's mailbox share was checked (and connected) by CheckMailboxAccess.
    bool MailboxChecked() const { return m_bMailboxChecked; }

    // Password hashing shared by verification and record creation: 0 when clear hashes, with the
    // salt of stored, to exactly stored; non-zero otherwise.
    static int PasswordCompare(const char* stored, const char* clear);
    // dest := 12-character hash of clear, salted with 'A' + strlen(clear) and a random letter.
    static void PasswordCopy(char dest[13], const char* clear);

    void SetMailboxAccount(const std::string& account, const std::string& password);
    const std::string& GetMailboxAccount() const { return m_strMBAccount; }
    const std::string& GetMailboxPassword() const { return m_strMBPassword; }

    std::string GetName() const { return m_strName; }
    std::string GetAddress() const { return m_strAddress; }
    std::string GetLastError() const { return m_strLastError; }
    // True once a remote call failed because the site could not be reached or the connection
    // broke, or the connection was aborted; the last error then says so (after an Abort, once the
    // call in flight or the next operation failed). Any thread may ask.
    bool ConnectionLost() const { return m_bConnectionLost.load(); }
    void SetLastError(std::string text) { m_strLastError = std::move(text); }
    const IConnectionOptions* Options() const { return m_pOptions; }

    // A call made on this site's interfaces failed with `hr`: when the transport failed, the site
    // counts as lost from now on and the last error says so; any other result changes nothing.
    virtual void NoteTransportFailure(int32_t hr) { (void)hr; }
    // Whether a call that answered `hr` failed in the transport, so that it may have been carried
    // out without its answer arriving.
    virtual bool IsLostAnswer(int32_t hr) const { (void)hr; return false; }

    // Abandons the call in flight (from another thread, as a Cancel does) and every later call:
    // the connection counts as lost from then on. Safe to repeat, and while the owner works.
    virtual void Abort() { m_bConnectionLost = true; }

    // The server's remote interfaces, for the relocator; null where the server has none (or the
    // connection reaches no server).
    virtual IZentControlI* GetControlInterface() const { return nullptr; }
    virtual IZentGetI* GetGetInterface() const { return nullptr; }
    virtual IZentChangeI* GetChangeInterface() const { return nullptr; }
    virtual IZentDeleteI* GetDeleteInterface() const { return nullptr; }
    virtual IZentONAI* GetONAInterface() const { return nullptr; }
    virtual IZentOKLInterface* GetOKLInterface() const { return nullptr; }
    int32_t GetExtNumberLength() const { return m_nExtNumberLength; }
    int GetExtCount() const { return static_cast<int>(m_summaries.size()); }
    void GetVersionInfo(uint16_t& serverVersion, uint16_t& recordLength) const {
        serverVersion = m_wServerVersion;
        recordLength = m_wRecordLength;
    }
    // The summary's home server is changed by the matching; everything else reads it.
    ExtSummary* FindSummary(std::string_view number);

protected:
    // The record held under the number the cursor reached. The walk asks in ascending order
    // (`first`: from the start again), so a connection may walk its records alongside.
    virtual ConstExtRec RecordAlongside(std::string_view number, bool first);
    HeldExt HeldAtCursor(bool first);

    std::string m_strName;
    std::string m_strAddress;
    std::string m_strPassword;
    int32_t m_nExtNumberLength = 0;
    std::string m_strLastError;
    std::string m_strMBAccount;
    std::string m_strMBPassword;
    SummaryMap m_summaries;
    SummaryMap::iterator m_cursor;
    uint16_t m_wServerVersion = 0;
    uint16_t m_wRecordLength = 0;
    std::atomic<bool> m_bConnectionLost{false};
    const IConnectionOptions* m_pOptions;
    CChangePlan* m_pPlan = nullptr;
    IChangeJournal* m_pJournal = nullptr;
    bool m_bMailboxChecked = false;
};

}  // namespace server
