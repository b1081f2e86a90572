// The string resources as data: UTF-8 source texts, sorted by number.
#pragma once

#include <cstdint>
#include <span>

namespace platform {

struct StringEntry {
    uint32_t id;
    const char* english;
    const char* chinese;
};

std::span<const StringEntry> StringTable();

}  // namespace platform
