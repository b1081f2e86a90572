// The state-file loader on arbitrary text: it must refuse or accept without crashing, and a
// state it accepts must come back unchanged through a save and a second load.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/StateCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::SiteState state;
    std::string error;
    if (!sim::ParseState(std::string_view(reinterpret_cast<const char*>(data), size), state, error)) {
        if (error.empty()) __builtin_trap();  // every refusal names its reason
        return 0;
    }
    const std::string saved = sim::SerializeState(state);
    sim::SiteState again;
    if (!sim::ParseState(saved, again, error)) __builtin_trap();
    if (sim::SerializeState(again) != saved) __builtin_trap();
    return 0;
}
