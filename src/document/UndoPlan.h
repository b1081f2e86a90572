// What undoing a command of the change journal takes, site by site and number by number, worked
// out against the sites as they were just downloaded: what each held before the command, whether
// it still holds what the command left (else someone changed it since), and what cannot be put
// back at all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "document/JournalFormat.h"

namespace server {
class CZentServ;
}

namespace document {

struct UndoStep {
    enum class Kind { Record, Workgroup, Note };
    enum class Verdict {
        Restore,      // the site holds what the command left: put back what it held before
        AsBefore,     // the site already holds what it held before the command
        Changed,      // the site holds something else now: left alone unless forced
        NotRestored,  // cannot be put back (a data block written, a mailbox copied)
        NoSite,       // the site was not downloaded
    };
    Kind kind = Kind::Record;
    std::string site;
    std::string number;
    std::vector<uint8_t> before;  // the record or workgroup as held before the command (empty: none)
    Verdict verdict = Verdict::Restore;
    std::string what;             // Note: what stays
    bool asLeft = false;          // the site holds what the command's last change there left
    uint64_t lastSeq = 0;
};

// The steps of undoing `command`, in the order to send them (the command's last change first),
// against the connections of the downloaded `sites`.
std::vector<UndoStep> PlanUndo(const JournalCommand& command, const std::vector<server::CZentServ*>& sites);

// Whether a change may have reached its site (applied, or its answer lost or never written).
bool MayHaveReached(const JournalEntry& e);

}  // namespace document
