// Arbitrary bytes as a hive file. Besides not crashing, whatever the parser accepted must be
// written out in a form that reads back to the same hive.
#include <cstdlib>

#include "platform/RegFile.h"

using namespace platform::regfile;

namespace {

bool Same(const Hive& a, const Hive& b) {
    if (a.keys().size() != b.keys().size()) return false;
    for (size_t i = 0; i < a.keys().size(); ++i) {
        const Key& x = a.keys()[i];
        const Key& y = b.keys()[i];
        if (x.path != y.path || x.values.size() != y.values.size()) return false;
        for (size_t j = 0; j < x.values.size(); ++j)
            if (x.values[j].name != y.values[j].name || x.values[j].type != y.values[j].type ||
                x.values[j].data != y.values[j].data)
                return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    Hive hive;
    ParseError error;
    Parse(text, "HKEY_LOCAL_MACHINE", hive, error);

    std::string written;
    if (!Serialize(hive, "HKEY_LOCAL_MACHINE", written)) std::abort();
    Hive back;
    if (!Parse(written, "HKEY_LOCAL_MACHINE", back, error) || !Same(hive, back)) std::abort();

    if (!hive.keys().empty()) {
        std::string path = hive.keys().front().path;
        hive.KeyExists(path.substr(0, path.size() / 2));
        hive.DeleteTree(path);
        if (hive.FindKey(path)) std::abort();
    }
    return 0;
}
