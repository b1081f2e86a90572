// Samba's DCE/RPC client, which nobody here wrote, against a zentsim daemon's resolver: it binds in
// either byte order and its calls are understood and answered.
#include <cstdlib>

#include "E2EFixture.h"

namespace e2e {
namespace {

bool HaveSambaBindings() {
    return std::system("/usr/bin/python3 -c 'import samba.dcerpc.base' >/dev/null 2>&1") == 0;
}

using SambaInterop = E2E;

TEST_F(SambaInterop, BindsInBothByteOrdersAndCallsTheResolver) {
    if (!HaveSambaBindings()) GTEST_SKIP() << "python3-samba is not installed (scripts/bootstrap installs it)";
    MakeNetwork();
    Start("North", "127.0.0.27");
    ProgramResult r = RunProgram("/usr/bin/python3",
                                 {std::string(QOB_SOURCE_DIR) + "/tests/interop/samba_client.py", "127.0.0.27",
                                  std::to_string(kPort)},
                                 scratch.path());
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("little-endian: ServerAlive 0, ServerAlive2 0"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("big-endian: ServerAlive 0, ServerAlive2 0"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace e2e
