// Where a site's mailboxes are: the share path, an extension's mailbox directory, the probe file.
#pragma once

#include <string>
#include <string_view>

namespace relocation {

// "\\address\Tarn_ZentMailBox".
std::string MailboxSharePath(const std::string& address);
// The extension's mailbox directory: "ext" and the number right-aligned in 15 characters, padded
// with zeros (a number of 15 or more characters whole).
std::string MailboxDirectory(const std::string& address, std::string_view number);
// Whether a number the server sent may name a directory on the share: nothing that climbs out of
// it or names another place (separators, "..", wildcards, control characters).
bool IsSafeMailboxNumber(std::string_view number);

}  // namespace relocation
