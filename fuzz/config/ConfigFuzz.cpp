// Arbitrary bytes as "Plexar.xml": the reader must not crash, and whatever it accepts must be
// written, read and written again to the same bytes.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "document/QOBDoc.h"
#include "platform/CodePage.h"

namespace {

const std::string& WorkDir() {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/qob-config-fuzz-XXXXXX";
        const char* made = mkdtemp(tmpl);
        if (!made) std::abort();
        platform::SetCodePage("WINDOWS-1252");
        return std::string(made);
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& dir = WorkDir();
    const std::string path = dir + "/Plexar.xml";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    CQOBDoc doc;
    doc.SetWorkDir(dir);
    doc.LoadConfig();
    const std::string first = doc.BuildConfigText();
    if (first.empty()) return 0;  // holds a value the file cannot store; never written

    f = std::fopen(path.c_str(), "wb");
    std::fwrite(first.data(), 1, first.size(), f);
    std::fclose(f);
    CQOBDoc again;
    again.SetWorkDir(dir);
    if (!again.LoadConfig()) std::abort();  // our own output must read back
    if (again.BuildConfigText() != first) std::abort();
    return 0;
}
