// qob-cli run as the real program on a directory of its own, the registry in a fresh one.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "support/RunProgram.h"
#include "support/TempDir.h"

class QobCliProgram : public ::testing::Test {
protected:
    void SetUp() override { setenv("QOB_REGISTRY_DIR", registry.path().c_str(), 1); }
    // qob-cli with `args` on the directory.
    ProgramResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--dir", dir.path()});
        return RunProgram("qob-cli", args, scratch.path());
    }
    TempDir registry, dir, scratch;
};
