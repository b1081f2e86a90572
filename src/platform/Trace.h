// The developer's diagnostic trace channel: standard error, off unless QOB_TRACE is set
// (to anything but "0"). Nothing the user needs goes only here.
#pragma once

#include <string_view>

namespace platform {

bool TraceEnabled();
void SetTraceEnabled(bool on);  // tests
void Trace(std::string_view text);
void TraceF(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace platform
