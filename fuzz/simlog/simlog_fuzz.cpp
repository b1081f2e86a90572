// The change-log reader on arbitrary bytes: splitting a log into entries, decoding each and
// applying it to a small site must refuse or accept without crashing; an entry it decodes must
// encode to the same payload again, and a refusal must name its reason.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/ChangeLog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    sim::LogScan scan;
    std::string error;
    if (!sim::ScanLog(text, scan, error)) {
        if (error.empty()) __builtin_trap();
        return 0;
    }
    if (scan.validLength > size) __builtin_trap();
    sim::SiteState state;
    state.system.recordLength = 64;
    for (const auto& payload : scan.payloads) {
        std::vector<sim::LogChange> changes;
        if (!sim::DecodeLogPayload(payload, changes, error)) {
            if (error.empty()) __builtin_trap();
            continue;
        }
        const std::string again = sim::EncodeLogEntry(changes);
        if (again.size() != payload.size() + sim::kLogFrameSize ||
            std::string_view(again).substr(sim::kLogFrameSize) !=
                std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size()))
            __builtin_trap();
        sim::ApplyLogChanges(state, changes, error);
    }
    return 0;
}
