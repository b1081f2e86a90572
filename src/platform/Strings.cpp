#include "platform/Strings.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/CodePage.h"
#include "platform/StringTable.h"

namespace platform {
namespace {

std::atomic<StringLanguage> g_language{StringLanguage::Auto};

StringLanguage FromLocale() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) return std::strncmp(v, "zh", 2) == 0 ? StringLanguage::Chinese : StringLanguage::English;
    }
    return StringLanguage::English;
}

// One converted copy of the table per language and code page in use; never freed, so the
// references handed out stay valid when a test switches either.
struct Cache {
    std::mutex mutex;
    std::map<std::string, std::unique_ptr<const std::vector<std::string>>> tables;
};

Cache& cache() {
    static Cache c;
    return c;
}

std::unique_ptr<const std::vector<std::string>> Convert(StringLanguage language) {
    auto texts = std::make_unique<std::vector<std::string>>();
    std::span<const StringEntry> table = StringTable();
    texts->reserve(table.size());
    for (const StringEntry& e : table) {
        std::string text;
        if (language == StringLanguage::Chinese && Utf8ToCodePageExact(e.chinese, text)) {
            texts->push_back(std::move(text));
            continue;
        }
        texts->push_back(Utf8ToCodePage(e.english));
    }
    return texts;
}

}  // namespace

void SetStringLanguage(StringLanguage language) { g_language.store(language); }

StringLanguage StringLanguageInForce() {
    StringLanguage l = g_language.load();
    return l == StringLanguage::Auto ? FromLocale() : l;
}

const std::string& LoadString(uint32_t id) {
    static const std::string kNone;
    std::span<const StringEntry> table = StringTable();
    auto it = std::lower_bound(table.begin(), table.end(), id,
                               [](const StringEntry& e, uint32_t n) { return e.id < n; });
    if (it == table.end() || it->id != id) return kNone;
    StringLanguage language = StringLanguageInForce();
    std::string key = (language == StringLanguage::Chinese ? "zh:" : "en:") + CodePageName();
    Cache& c = cache();
    std::lock_guard lock(c.mutex);
    auto& texts = c.tables[key];
    if (!texts) texts = Convert(language);
    return (*texts)[static_cast<size_t>(it - table.begin())];
}

}  // namespace platform
