// The zentsim command line: init, add, fault, dump and serve. Text goes to out and err; the
// result is the exit status.
#pragma once

#include <string>
#include <vector>

namespace sim {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

int RunCommand(const std::vector<std::string>& args, std::string& out, std::string& err);

}  // namespace sim
