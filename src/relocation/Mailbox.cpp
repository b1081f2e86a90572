// The relocator's mailbox work on its site's share: proving access, measuring and copying an
// extension's mailbox directory.
#include <unistd.h>

#include <cstdint>
#include <random>
#include <vector>

#include "platform/FileShares.h"
#include "platform/Strings.h"
#include "relocation/DirUtil.h"
#include "relocation/MailboxPaths.h"
#include "relocation/Reloc.h"
#include "server/ServProv.h"

namespace relocation {
namespace {

constexpr int kCopyRetries = 3;

bool HasEntry(const std::string& path) {
    std::vector<platform::FileEntry> entries;
    return platform::ListFiles(path, entries) && !entries.empty();
}

// A probe name of the check's own, for a share that already holds a "readme.txt".
std::string OwnProbeName() {
    std::random_device random;
    return "readme-" + std::to_string(getpid()) + "-" + std::to_string(random() % 1000000) + ".txt";
}

}  // namespace

bool CReloc::CheckMailboxAccess() {
    const std::string site = m_pServer->GetName();
    const std::string share = MailboxSharePath(m_pServer->GetAddress());
    std::string account, password;
    MailboxAccount(account, password);
    if (!account.empty() && account.find('\\') == std::string::npos && account.find('@') == std::string::npos)
        account = site + "\\" + account;

    int result = platform::ConnectShare(share, account, password);
    if (result == platform::kConnectBadNetName) {
        m_pServer->SetLastError(platform::FormatString(44626, site));
        return false;
    }
    if (result == platform::kConnectAccessDenied || result == platform::kConnectInvalidPassword) {
        // Once more as an account of the server machine itself (without the site's name in front).
        std::string name = account;
        if (name.compare(0, site.size() + 1, site + "\\") == 0) name = name.substr(site.size() + 1);
        result = platform::ConnectShare(share, m_pServer->GetAddress() + "\\" + name, password);
    }
    if (result != platform::kConnectOk) {
        m_pServer->SetLastError(platform::FormatString(44630, site));
        return false;
    }

    if (!DirExists(share + "\\*")) {
        m_pServer->SetLastError(platform::FormatString(44631, site));
        return false;
    }
    // Write and delete a file of the check's own: an existing "readme.txt" on the share stays.
    const server::IConnectionOptions* options = m_pServer->Options();
    const std::string dir = options ? options->WorkDir() : std::string();
    const std::string localProbe = (dir.empty() ? std::string(".") : dir) + "/readme.txt";
    std::string probe = share + "\\readme.txt";
    if (HasEntry(probe)) probe = share + "\\" + OwnProbeName();
    if (!platform::CopyFile(localProbe, probe) || !platform::RemoveFile(probe)) {
        m_pServer->SetLastError(platform::FormatString(44631, site));
        return false;
    }
    return true;
}

int32_t CReloc::GetMailboxSize(std::string_view number) {
    if (!IsSafeMailboxNumber(number)) {
        m_pServer->SetLastError(platform::FormatString(46102, std::string(number)));
        return 0;
    }
    return GetDirSizeKB(MailboxDirectory(m_pServer->GetAddress(), number));
}

bool CReloc::CopyMailbox(std::string_view number, server::CZentServ* source, std::string& why) {
    if (!IsSafeMailboxNumber(number)) {
        why = platform::FormatString(46102, std::string(number));
        return false;
    }
    // Only shares the download connected to and proved can be copied between.
    if (!m_pServer->MailboxChecked() || !source->MailboxChecked()) {
        why = platform::LoadString(46103);
        return false;
    }
    const std::string from = MailboxDirectory(source->GetAddress(), number);
    if (!DirExists(from)) return true;  // no mailbox: nothing to move
    return CopyDirTree(from, MailboxDirectory(m_pServer->GetAddress(), number), kCopyRetries, why);
}

}  // namespace relocation
