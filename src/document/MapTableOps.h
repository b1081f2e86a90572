// The map table editor's operations on the document's sites and routes, free of any toolkit so
// that the dialog and the command line share them. Each keeps the routes of all sites consistent
// with the site list; none saves the file (the caller does, when it confirms the changes).
#pragma once

#include <cstdint>
#include <string>

#include "document/QOBDoc.h"

enum class MapEditResult {
    Changed,           // the document was changed
    Unchanged,         // the values equal the old ones; nothing to do
    DuplicateIP,       // 44613: another site already has the address
    InvalidSelection,  // 44615: no such site
    NoSuchRoute,       // the from site has no route to the named site
    UnstorableText,    // a value the configuration file could not hold unchanged
    BlankName,         // 44605: the name is empty or white space only
    DuplicateName,     // another site has the name, ignoring letter case
    ControlCharacter,  // a name or routing value holds a tab, a line end or another control character
    BlankIP,           // 44606: the address 0.0.0.0
    BroadcastIP,       // the address 255.255.255.255
};

// The values the server edit dialog collects for a site.
struct SiteEditValues {
    std::string Name;
    uint32_t IP = 0;
    std::string MBAccount;
    std::string MBPassword;
};

// The message the user gets for a refusal (empty for Changed and Unchanged).
std::string MapEditMessage(MapEditResult result);

// Adds a site with routes to and from every existing site, all routing values empty. Refused: a
// blank name, one with a control character or one another site has ignoring case (every lookup
// by name would find the other site), the addresses 0.0.0.0 and 255.255.255.255, and an
// address another site has.
MapEditResult MapAddSite(CQOBDoc& doc, const SiteEditValues& values);
// Edits site `index`; routes named exactly as its old name follow the new name. A changed name
// or address is refused as MapAddSite refuses it (an unchanged one is kept as it is).
MapEditResult MapEditSite(CQOBDoc& doc, int index, const SiteEditValues& values);
// Removes site `index` and the first route to it from every other site.
MapEditResult MapRemoveSite(CQOBDoc& doc, int index);

// The two editable cells of a route: the Mail Forwarding Suffix and the Forward Access Code.
enum class RouteColumn { MailSuffix = 0, AccessCode = 1 };

// Stores a new value for the route from site `fromIndex` to the site named `toName`; the value also
// becomes the to site's template for that column. `modified` tells whether the value differed. A
// value with a control character is refused: the editor's rows are the values joined by tabs.
MapEditResult MapSetRouteCell(CQOBDoc& doc, int fromIndex, const std::string& toName, RouteColumn column,
                              const std::string& value, bool* modified = nullptr);
// What the cell editor proposes for a cell: its text when not empty, else the to site's template
// (empty when the to site is unknown).
std::string MapProposeCellText(const CQOBDoc& doc, const std::string& toName, RouteColumn column,
                               const std::string& cellText);
