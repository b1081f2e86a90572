// Builds one NDR stream with a routine that both sizes and writes it.
#pragma once

#include <cstdint>
#include <vector>

#include "com/NdrWriter.h"

namespace com {

// Runs write(NdrWriter&) once to size and once to fill; empty on a writer error.
template <class Write>
std::vector<uint8_t> BuildNdr(Write&& write) {
    NdrWriter sizer;
    write(sizer);
    if (!sizer.Ok()) return {};
    std::vector<uint8_t> out(sizer.Size());
    NdrWriter writer(out.data(), out.size());
    write(writer);
    if (!writer.Ok() || writer.Size() != out.size()) return {};
    return out;
}

}  // namespace com
