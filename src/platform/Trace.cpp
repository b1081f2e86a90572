#include "platform/Trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {
namespace {

std::atomic<int>& flag() {
    static std::atomic<int> f = [] {
        const char* v = std::getenv("QOB_TRACE");
        return (v && *v && std::strcmp(v, "0") != 0) ? 1 : 0;
    }();
    return f;
}

}  // namespace

bool TraceEnabled() { return flag().load() != 0; }
void SetTraceEnabled(bool on) { flag().store(on ? 1 : 0); }

void Trace(std::string_view text) {
    if (!TraceEnabled()) return;
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void TraceF(const char* format, ...) {
    if (!TraceEnabled()) return;
    va_list ap;
    va_start(ap, format);
    std::vfprintf(stderr, format, ap);
    va_end(ap);
    std::fflush(stderr);
}

}  // namespace platform
