// Arbitrary bytes as "Plexar.xml": the reader must not crash, and whatever it accepts must be
// written, read and written again to the same bytes.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "document/QOBDoc.h"
#include "platform/CodePage.h"

namespace {

// A directory of its own for "Plexar.xml", removed when the run ends.
class WorkDirectory {
public:
    WorkDirectory() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "qob-config-fuzz-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) std::abort();
        m_path = tmpl;
        platform::SetCodePage("WINDOWS-1252");
    }
    ~WorkDirectory() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

const std::string& WorkDir() {
    static const WorkDirectory dir;
    return dir.path();
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
