// zentsim: a simulated telephony server site with persistent state and fault injection.
#include <cstdio>
#include <string>
#include <vector>

#include "sim/Commands.h"

int main(int argc, char** argv) {
    std::string out, err;
    const int status = sim::RunCommand(std::vector<std::string>(argv + 1, argv + argc), out, err);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fwrite(err.data(), 1, err.size(), stderr);
    return status;
}
