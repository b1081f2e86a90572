// The version-specific relocator every server connection owns: it moves an extension onto its
// connection's server from another site, and handles that site's voice-mail share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "server/ExtRec.h"
#include "server/WorkgrpRec.h"

namespace server {
class CZentServ;
}

namespace relocation {

class CReloc {
public:
    explicit CReloc(server::CZentServ* server) : m_pServer(server) {}
    CReloc(const CReloc&) = delete;
    CReloc& operator=(const CReloc&) = delete;

    virtual bool Open() = 0;
    virtual bool Close() = 0;
    virtual bool Relocate(std::string_view number, server::CZentServ* source, bool copyMailbox) = 0;
    virtual void MergeExtRec(server::ExtRec copy, server::CZentServ* source) = 0;
    virtual void MergeGroupRec(server::WORKGRPREC copy, server::CZentServ* source) = 0;
    // False, with the reason in `why`, when a mailbox was there to copy and did not arrive whole.
    virtual bool CopyMailbox(std::string_view number, server::CZentServ* source, std::string& why);
    virtual bool CheckMailboxAccess();
    virtual int32_t GetMailboxSize(std::string_view number);
    // Drops this program's connection to the site's mailbox share.
    virtual ~CReloc();

protected:
    // The mailbox account of the relocator's site: its own, or the document's defaults when the
    // site has none (both together, as they are now).
    void MailboxAccount(std::string& account, std::string& password) const;
    // The relocation shared by both versions; `v48` adds the item transfer and the mailbox.
    bool RelocateCommon(std::string_view number, server::CZentServ* source, bool copyMailbox, bool v48);
    // Copies the record ranges both versions carry, and with `v48` those of version 4.8 (only
    // between servers of the same version).
    void MergeExtRanges(server::ExtRec copy, server::CZentServ* source, bool v48);
    void MergeGroupRanges(server::WORKGRPREC copy, server::CZentServ* source, bool v48);
    // Whether this site and `source` run the same server version.
    bool SameVersion(server::CZentServ* source) const;

    server::CZentServ* m_pServer;
};

// Version 4.6 servers.
class CReloc46 : public CReloc {
public:
    using CReloc::CReloc;
    bool Open() override { return true; }
    bool Close() override { return true; }
    bool Relocate(std::string_view number, server::CZentServ* source, bool copyMailbox) override;
    void MergeExtRec(server::ExtRec copy, server::CZentServ* source) override;
    void MergeGroupRec(server::WORKGRPREC copy, server::CZentServ* source) override;
};

// Every other version: the server shares its mailbox directory while the connection lives.
class CReloc48 : public CReloc {
public:
    using CReloc::CReloc;
    ~CReloc48() override;
    bool Open() override;
    bool Close() override;
    bool Relocate(std::string_view number, server::CZentServ* source, bool copyMailbox) override;
    void MergeExtRec(server::ExtRec copy, server::CZentServ* source) override;
    void MergeGroupRec(server::WORKGRPREC copy, server::CZentServ* source) override;

    bool m_bShareOpen = false;

private:
    int32_t ShareMailbox(int8_t open, const std::string& account);
    std::string m_strShareAccount;  // the account the share was opened with, for closing it
};

// The share the servers keep the mailboxes under, and the directory they share under it.
inline constexpr const char* kMailboxShareName = "Tarn_ZentMailBox";
inline constexpr const char* kMailboxShareDirectory = "%ZentMailBox%";

}  // namespace relocation
