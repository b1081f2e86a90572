#include "com/RandomId.h"

#include <sys/random.h>

#include <atomic>
#include <chrono>
#include <cstring>

namespace com {
namespace {

void Fill(void* p, size_t n) {
    auto* b = static_cast<uint8_t*>(p);
    size_t got = 0;
    while (got < n) {
        ssize_t r = getrandom(b + got, n - got, 0);
        if (r > 0) {
            got += size_t(r);
            continue;
        }
        // Without the kernel's generator: a counter mixed with the clock still never repeats.
        static std::atomic<uint64_t> counter{0};
        uint64_t v = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) * 0x9E3779B97F4A7C15ull ^
                     counter.fetch_add(1);
        size_t k = n - got < 8 ? n - got : 8;
        std::memcpy(b + got, &v, k);
        got += k;
    }
}

}  // namespace

GUID RandomGuid() {
    uint8_t b[16];
    Fill(b, sizeof b);
    b[7] = uint8_t((b[7] & 0x0F) | 0x40);  // version 4 (Data3's high nibble, little-endian form)
    b[8] = uint8_t((b[8] & 0x3F) | 0x80);  // variant
    return GuidFromBytes(b);
}

uint64_t RandomU64() {
    uint64_t v = 0;
    while (v == 0) Fill(&v, sizeof v);
    return v;
}

}  // namespace com
