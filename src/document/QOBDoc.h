// The document: everything the program knows about the multi-site network. This is its
// configuration half (sites, map table, options, the configuration file).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "document/ChangeJournal.h"
#include "document/Frame.h"
#include "document/SiteRec.h"
#include "platform/FileLock.h"
#include "platform/TextFormat.h"
#include "server/ServProv.h"

namespace document {
class CCallAborter;
}

class CQOBDoc : private server::IConnectionOptions {
public:
    using ExtList = std::map<std::string, server::ExtSummary, std::less<>>;

    CQOBDoc();
    ~CQOBDoc();
    CQOBDoc(const CQOBDoc&) = delete;
    CQOBDoc& operator=(const CQOBDoc&) = delete;

    // The frame the document reports through; none means nothing is shown or logged.
    void SetFrame(IQOBFrame* frame) { m_pFrame = frame; }
    IQOBFrame* GetFrame() const { return m_pFrame; }
    // The directory that stands for the process's current directory: the configuration file
    // "Plexar.xml" lives there. Empty means the current directory itself.
    void SetWorkDir(const std::string& dir) { m_strWorkDir = dir; }
    std::string ConfigPath() const;

    // Framework hooks.
    bool OnNewDocument();
    void OnCloseDocument();

    // Configuration file.
    bool LoadConfig();
    bool SaveConfig();
    // The largest file LoadConfig reads; SaveConfig never writes a larger one.
    static constexpr size_t kMaxConfigBytes = 16u * 1024 * 1024;
    // The configuration file's lock ("Plexar.xml.lock" beside it), for a read-change-write that
    // must not lose another process's change: waits up to platform::LockTimeoutMs for a process
    // that holds it. `what` says what this one does, for the message another may give. While the
    // lock is held, SaveConfig also removes temporary files that a killed save left behind.
    bool LockConfig(const std::string& what, std::string& error);
    void UnlockConfig() { m_configLock.Release(); }
    bool IsConfigLocked() const { return m_configLock.Held(); }
    // Why the last LoadConfig or SaveConfig failed, for front ends that can say more than the
    // program's own messages (empty after a success).
    const std::string& GetConfigError() const { return m_strConfigError; }
    // The whole file as SaveConfig writes it, byte-order mark included; `error` names the first
    // value that the file could not hold (and the text is then not to be written).
    std::string BuildConfigText(std::string* error = nullptr) const;

    // Lookups.
    int GetSiteIndex(const std::string& name) const;
    bool IsIPUsed(uint32_t ip) const;
    bool HasDuplicateIP() const;
    // The route from site `from` to site `to`; the site is found ignoring case, the route exactly.
    const std::string* GetFwdPattern(const std::string& from, const std::string& to) const;
    const std::string* GetVMAPostfix(const std::string& from, const std::string& to) const;

    // Download and matching.
    bool Download();
    void MatchExtensions();
    int CheckMapTable();
    bool IsSameExtLength() const;
    // How many connections hold the number with that type code; 6 counts every holder.
    int CountExtType(std::string_view number, int type) const;
    uint32_t CompareExtNames(std::string_view number);
    bool IsNameConsistent(std::string_view number) const;
    bool IsSynchronizedAll(std::string_view number, const std::string& home);
    server::CZentServ* FindServer(const std::string& name) const;
    server::ExtSummary* FindExtRow(std::string_view number);
    bool IsSynchronizable(std::string_view number, const std::string& home) const;
    // Why a number may not be checked for synchronisation with that home (None: it may).
    enum class SyncRefusal { None, NoRow, NoHome, Application, SeveralExtensions, ExtensionAndGroup, AlreadySynchronized };
    SyncRefusal WhyNotSynchronizable(std::string_view number, const std::string& home) const;
    int GetGroupAgents(std::string_view number, const std::string& home, std::vector<std::string>& list);
    int32_t GetMailboxSize(std::string_view number);
    void UpdateExtRows(const std::vector<std::string>& numbers);

    // Synchronisation and deletion.
    // True when the number was synchronised (its row names the home now); `complete` (when given)
    // says whether everything of it arrived there as well (a relocation's blocks and mailbox).
    bool SyncExtension(const std::string& number, const std::string& home, bool* complete = nullptr);
    // One number of a Synchronize command and how it went.
    struct SyncRequest {
        std::string number;
        std::string home;
        bool done = false;  // SyncExtension ran for it (not when the command was cancelled before)
        bool ok = false;
        bool complete = false;  // ok, and nothing of it stayed behind
    };
    // Synchronises the numbers in the order given (the caller puts extensions before groups); a
    // cancel stops before the next number and the log says which were done and which not. `each`
    // is told of every number once it is done, on the thread that runs the command.
    bool SyncNumbers(std::vector<SyncRequest>& list, const std::function<void(const SyncRequest&)>& each = {});
    // `complete` (when given) tells whether every deletion the scope asked for was made.
    bool DeleteEverywhere(const std::string& number, bool* complete = nullptr);

    // The change journal of a command that changes sites ("QOB.journal" beside Plexar.xml): begun
    // before anything is sent (false, logged, when it cannot be written: the command must send
    // nothing), ended with the command's result. While begun, every connection journals its
    // changes and every number's outcome is written there.
    bool BeginJournal(const document::JournalCommandInfo& info);
    void EndJournal(std::string_view result);
    std::string JournalPath() const;
    bool JournalBegun() const { return m_pJournal != nullptr; }
    // What the journal says of commands the program died in (or why it cannot be read), one
    // message each; empty when every command ended.
    std::vector<std::string> UnfinishedCommands(std::vector<uint64_t>* ids = nullptr) const;
    static constexpr const char* kJournalMaxMBEntry = "JournalMaxMB";
    static constexpr const char* kJournalMaxCommandsEntry = "JournalMaxCommands";

    // How many sites a command works on at once (1: one after another, in download order).
    static constexpr int kDefaultJobs = 8;
    static constexpr int kMaxJobs = 64;
    void SetJobs(int jobs);
    int GetJobs() const { return m_nJobs; }
    // The running command's stop request (Cancel): checked before each remote call; a call in
    // flight is abandoned by aborting its connection. A default token never stops.
    void SetStopToken(std::stop_token token) { m_stop = std::move(token); }
    bool Cancelled() const { return m_stop.stop_requested(); }

    // Options.
    bool GetReload() const { return m_bReload; }
    void SetReload(bool v) { m_bReload = v; }
    bool GetRemember() const { return m_bRemember; }
    void SetRemember(bool v) { m_bRemember = v; }
    bool GetRelocation() const { return m_bRelocation; }
    void SetRelocation(bool v) { m_bRelocation = v; }
    bool GetRelocateVM() const { return m_bRelocateVM; }
    void SetRelocateVM(bool v) { m_bRelocateVM = v; }
    const std::string& GetDefaultMBUser() const { return m_strDefaultMBUser; }
    void SetDefaultMBUser(const std::string& v) { m_strDefaultMBUser = v; }
    const std::string& GetDefaultMBPassword() const { return m_strDefaultMBPassword; }
    void SetDefaultMBPassword(const std::string& v) { m_strDefaultMBPassword = v; }

    std::vector<SiteRec> m_sites;
    std::vector<std::string> m_selServers;
    bool m_bVerifyPassword = true;
    bool m_bDownloaded = false;

    std::vector<std::unique_ptr<server::CZentServ>> m_servers;
    ExtList m_extList;

    bool m_bReload = true;
    bool m_bRemember = false;
    bool m_bRelocation = true;
    bool m_bRelocateVM = false;
    std::string m_strDefaultMBUser;
    std::string m_strDefaultMBPassword;

private:
    // What the connections read of the options.
    bool RelocateVM() const override { return m_bRelocateVM; }
    std::string DefaultMBUser() const override { return m_strDefaultMBUser; }
    std::string DefaultMBPassword() const override { return m_strDefaultMBPassword; }
    bool Relocation() const override { return m_bRelocation; }
    std::string WorkDir() const override { return m_strWorkDir; }

    class CommandScope;
    void ClearSites();
    void DestroyServers();
    void Log(uint32_t level, const std::string& text);
    void Status(const std::string& text);
    // How many sites a change command works on at once.
    int ChangeJobs() const;
    // For every pair of connections (from, to), the route's access code and mail suffix (empty
    // text when the map table has no such route), looked up once per matching.
    struct RouteTexts {
        const std::string* pattern;
        const std::string* suffix;
    };
    std::vector<RouteTexts> RouteTable() const;
    // What each connection holds of one number, in m_servers order (no summary where it holds
    // none). The matching has it from its walk; the other callers look it up.
    using Holdings = std::vector<server::CZentServ::HeldExt>;
    Holdings HoldingsOf(std::string_view number) const;
    // The synchronised test (names aside) for a home given as its connection's index.
    bool IsSynchronizedTo(std::string_view number, const Holdings& held, size_t home,
                          const std::vector<RouteTexts>& routes);
    // The texts every merged row's log lines and home take, loaded once per matching.
    struct MatchTexts {
        platform::PreparedFormat matchLine;
        platform::PreparedFormat compareLine;
        const std::string& unknown;
        const std::string& synchronizedTo;
        const std::string& unsynchronized;
        std::string line;  // one buffer for every log line
    };
    // Fills the merged row (all zero) of one number, logging as it is decided.
    void MergeRow(std::string_view number, const Holdings& held, const std::vector<RouteTexts>& routes,
                  MatchTexts& texts, server::ExtSummary& row);
    void Message(const std::string& text, unsigned type = MB_OK);
    // SyncExtension's walk over the sites; `home` becomes the home connection's own name, and
    // `homeType` the type the merged row takes on success.
    struct SyncResult {
        bool incomplete = false;  // synchronised, with warnings: something did not arrive
        bool uncertain = false;   // a site's answer was lost: the change may have been applied
    };
    bool SyncToHome(const std::string& number, const server::ExtSummary& row, std::string& home, uint8_t& homeType,
                    SyncResult& result);
    // The route from `site` to `home`, each entry compared written to the trace.
    const MapEntry* TraceRouteTo(const SiteRec& site, const std::string& home) const;

    IQOBFrame* m_pFrame = nullptr;
    int m_nJobs = kDefaultJobs;
    std::stop_token m_stop;
    // While a command runs: its connections, for a stop request to abort (see CommandScope).
    std::unique_ptr<document::CCallAborter> m_pAborter;
    std::unique_ptr<document::CChangeJournal> m_pJournal;
    void JournalNumber(std::string_view number, std::string_view result);
    std::string m_strWorkDir;
    std::string m_strConfigError;
    platform::FileLock m_configLock;

    friend class CConfigReader;
};
