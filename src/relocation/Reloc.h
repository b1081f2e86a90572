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
    virtual void CopyMailbox(std::string_view number, server::CZentServ* source);
    virtual bool CheckMailboxAccess();
    virtual int32_t GetMailboxSize(std::string_view number);
    virtual ~CReloc();

protected:
    // The mailbox account of the relocator's site: its own, or the document's defaults when the
    // site has none (both together, as they are now).
    void MailboxAccount(std::string& account, std::string& password) const;
    // Fails an operation whose work this build does not carry yet, saying so in the last error.
    bool NotAvailable(const char* what);

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
    int32_t ShareMailbox(int8_t open);
};

// The share the servers keep the mailboxes under, and the directory they share under it.
inline constexpr const char* kMailboxShareName = "Tarn_ZentMailBox";
inline constexpr const char* kMailboxShareDirectory = "%ZentMailBox%";

}  // namespace relocation
