// The SMB client library is loaded when a share is first needed: the programs do not link it, a
// missing library is named in the error, and the one installed has every entry point used.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/SmbLibrary.h"

namespace {

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
        ::pclose(p);
    }
    return out;
}

TEST(SmbLibrary, AMissingLibraryIsNamedAndTheInstalledOneHasEveryEntry) {
    std::string error;
    EXPECT_EQ(platform::LoadSmbLibrary("libsmbclient-none.so.9", error), nullptr);
    EXPECT_NE(error.find("cannot load the SMB client library libsmbclient-none.so.9"), std::string::npos) << error;
    // A library without the entry points is refused, naming the first that is missing.
    error.clear();
    EXPECT_EQ(platform::LoadSmbLibrary("libm.so.6", error), nullptr);
    EXPECT_NE(error.find("the SMB client library libm.so.6 lacks smbc_new_context"), std::string::npos) << error;

    error.clear();
    auto lib = platform::LoadSmbLibrary(platform::kSmbLibraryName, error);
    ASSERT_NE(lib, nullptr) << error;
    EXPECT_NE(lib->smbc_getFunctionUnlink, nullptr);
}

TEST(SmbLibrary, NoProgramLinksIt) {
    const char* bin = std::getenv("QOB_TEST_BIN_DIR");
    if (!bin) GTEST_SKIP() << "QOB_TEST_BIN_DIR is not set";
    for (const char* program : {"qob-cli", "zentsim", "qob"}) {
        const std::string path = std::string(bin) + "/" + program;
        if (std::system(("test -x '" + path + "'").c_str()) != 0) continue;  // a tree without the window
        const std::string needed = Output("readelf -d '" + path + "' 2>&1");
        ASSERT_NE(needed.find("NEEDED"), std::string::npos) << program << ": " << needed;
        EXPECT_EQ(needed.find("libsmbclient"), std::string::npos) << program;
    }
}

}  // namespace
