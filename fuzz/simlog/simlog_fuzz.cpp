// The change-log reader on arbitrary bytes: splitting a log into entries, decoding each and
// applying it to a small site must refuse or accept without crashing; an entry it decodes must
// encode to the same payload again, and a refusal must name its reason.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/ChangeLog.h"

namespace {

void DecodeAndApply(std::span<const uint8_t> payload, sim::SiteState& state) {
    std::vector<sim::LogChange> changes;
    std::string error;
    if (!sim::DecodeLogPayload(payload, changes, error)) {
        if (error.empty()) __builtin_trap();
        return;
    }
    const std::string again = sim::EncodeLogEntry(changes);
    if (again.size() != payload.size() + sim::kLogFrameSize ||
        std::string_view(again).substr(sim::kLogFrameSize) !=
            std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size()))
        __builtin_trap();
    sim::ApplyLogChanges(state, changes, error);
}

}  // namespace

// The input is read both as a whole log and as one entry's payload: mutations of a payload
// inside a log rarely keep its checksum, so the decoder would otherwise see little of them.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::SiteState state;
    state.system.recordLength = 64;
    DecodeAndApply({data, size}, state);

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    sim::LogScan scan;
    std::string error;
    if (!sim::ScanLog(text, scan, error)) {
        if (error.empty()) __builtin_trap();
        return 0;
    }
    if (scan.validLength > size) __builtin_trap();
    for (const auto& payload : scan.payloads) DecodeAndApply(payload, state);
    return 0;
}
