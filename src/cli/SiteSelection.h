// The sites a command downloads, with their passwords, and the download itself as the Sites
// Download command runs it: shared by download, sync and delete.
#pragma once

#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "cli/Args.h"
#include "cli/CliContext.h"

struct SiteSelection {
    std::vector<std::string> names;                        // code page text, as typed
    std::vector<std::optional<std::string>> passwords;     // one per name; none: not given
};

// Adds a site name typed on the command line; false with `error` when it cannot be represented
// or names a site already named.
bool AddSiteName(SiteSelection& selection, const std::string& utf8, std::string& error);
// The passwords of --password and --password-stdin for the named sites; false with `error` for a
// malformed one, one for a site not named, or a second one for a site.
bool TakePasswords(const CArgs& args, std::istream& in, SiteSelection& selection, std::string& error);
// True when the configured site of that name (ignoring case) exists.
bool IsSiteName(const CQOBDoc& doc, const std::string& utf8);

// Steps 3 to 9 of Sites Download with the configuration loaded: the passwords used for this
// download and saved, the selection logged, the download run with questions answered Yes or No,
// the passwords cleared unless remembered and saved again. Returns whether the download
// completed; `saved` tells whether that last save worked. False at once, with 44639 logged and
// nothing saved, for a site that is not configured.
bool DownloadSelection(CliContext& ctx, const SiteSelection& selection, bool yes, bool& saved);
