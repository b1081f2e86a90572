// Arbitrary bytes as a change journal: the reader must not crash, and every command it accepts
// must hold what an undo relies on (changes with a site, a method and a sequence number).
#include <cstdlib>
#include <string_view>

#include "document/JournalFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    document::JournalContents contents;
    std::string error;
    const bool ok = document::ParseJournal(std::string_view(reinterpret_cast<const char*>(data), size), contents, error);
    if (!ok && error.empty()) std::abort();
    for (const document::JournalCommand& c : contents.commands) {
        if (c.id == 0) std::abort();
        for (const document::JournalEntry& e : c.changes)
            if (e.seq == 0 || e.site.empty() || e.method.empty()) std::abort();
    }
    return 0;
}
