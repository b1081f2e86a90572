#include "document/JournalFormat.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <nlohmann/json.hpp>

#include "platform/AtomicFile.h"

namespace document {
namespace {

using Json = nlohmann::json;

// The largest record or block a journal line may carry (hex doubles it); larger is damage.
constexpr size_t kMaxBytes = 1u << 20;

std::string Text(const Json& j, const char* key) {
    auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

uint64_t Unsigned(const Json& j, const char* key) {
    auto it = j.find(key);
    return it != j.end() && it->is_number_unsigned() ? it->get<uint64_t>() : 0;
}

bool Bytes(const Json& j, const char* key, std::vector<uint8_t>& out) {
    auto it = j.find(key);
    if (it == j.end()) return true;
    return it->is_string() && it->get_ref<const std::string&>().size() <= 2 * kMaxBytes &&
           ParseHexBytes(it->get_ref<const std::string&>(), out);
}

std::vector<std::string> Texts(const Json& j, const char* key) {
    std::vector<std::string> out;
    auto it = j.find(key);
    if (it == j.end() || !it->is_array()) return out;
    for (const Json& v : *it)
        if (v.is_string()) out.push_back(v.get<std::string>());
    return out;
}

JournalCommand* Find(JournalContents& out, std::map<uint64_t, size_t>& index, uint64_t id) {
    auto it = index.find(id);
    return it == index.end() ? nullptr : &out.commands[it->second];
}

}  // namespace

std::string HexBytes(const uint8_t* data, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out(2 * size, '0');
    for (size_t i = 0; i < size; ++i) {
        out[2 * i] = kDigits[data[i] >> 4];
        out[2 * i + 1] = kDigits[data[i] & 15];
    }
    return out;
}

bool ParseHexBytes(std::string_view text, std::vector<uint8_t>& out) {
    if (text.size() % 2) return false;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    out.resize(text.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) {
        const int hi = digit(text[2 * i]), lo = digit(text[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        out[i] = uint8_t(hi << 4 | lo);
    }
    return true;
}

bool ParseJournal(std::string_view text, JournalContents& out, std::string& error) {
    out = {};
    std::map<uint64_t, size_t> index;
    size_t lineNumber = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        const bool cut = end == std::string_view::npos;
        if (cut) end = text.size();
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        ++lineNumber;
        if (line.empty()) continue;
        auto skip = [&](const std::string& why) {
            out.warnings.push_back("line " + std::to_string(lineNumber) + (cut ? " (the last, cut short)" : "") +
                                   ": " + why);
        };
        const Json j = Json::parse(line, nullptr, false);
        if (out.version == 0 && (j.is_discarded() || !j.is_object() || !j.contains("format"))) {
            // The header is written whole before anything else: without it, this is no journal.
            error = "its first line does not name the format";
            return false;
        }
        if (j.is_discarded() || !j.is_object()) {
            skip("not a journal entry");
            continue;
        }
        if (j.contains("format")) {
            if (Text(j, "format") != kJournalFormat) {
                error = "it is not a change journal of this program";
                return false;
            }
            auto v = j.find("version");
            if (v == j.end() || !v->is_number_unsigned() || v->get<uint64_t>() == 0) {
                error = "its version is missing";
                return false;
            }
            if (v->get<uint64_t>() > uint64_t(kJournalVersion)) {
                error = "it was written by a newer version (format " + std::to_string(v->get<uint64_t>()) +
                        "; this program reads " + std::to_string(kJournalVersion) + ")";
                return false;
            }
            out.version = int(v->get<uint64_t>());
            continue;
        }
        const std::string kind = Text(j, "entry");
        const uint64_t id = Unsigned(j, "cmd");
        if (id == 0) {
            skip("no command id");
            continue;
        }
        if (kind == "command") {
            if (index.count(id)) {
                skip("command " + std::to_string(id) + " begins twice");
                continue;
            }
            JournalCommand c;
            c.id = id;
            c.time = Text(j, "time");
            c.user = Text(j, "user");
            c.kind = Text(j, "kind");
            c.action = Text(j, "action");
            c.sites = Texts(j, "sites");
            c.numbers = Texts(j, "numbers");
            c.scope = Text(j, "scope");
            c.of = Unsigned(j, "of");
            if (auto h = j.find("homes"); h != j.end() && h->is_object())
                for (auto it = h->begin(); it != h->end(); ++it)
                    if (it->is_string()) c.homes[it.key()] = it->get<std::string>();
            index[id] = out.commands.size();
            out.commands.push_back(std::move(c));
            out.lines[id].emplace_back(line);
            continue;
        }
        JournalCommand* c = Find(out, index, id);
        if (!c) {
            skip("command " + std::to_string(id) + " was never begun");
            continue;
        }
        if (kind == "change") {
            JournalEntry e;
            e.seq = Unsigned(j, "seq");
            e.time = Text(j, "time");
            e.site = Text(j, "site");
            e.number = Text(j, "number");
            e.method = Text(j, "method");
            if (e.seq == 0 || e.site.empty() || e.method.empty() || !Bytes(j, "before", e.before) ||
                !Bytes(j, "sent", e.sent)) {
                skip("a change without its site, method, sequence or bytes");
                continue;
            }
            c->changes.push_back(std::move(e));
        } else if (kind == "answer") {
            const uint64_t seq = Unsigned(j, "seq");
            JournalEntry* e = nullptr;
            for (auto it = c->changes.rbegin(); it != c->changes.rend() && !e; ++it)
                if (it->seq == seq) e = &*it;
            std::vector<uint8_t> answer;
            if (!e || !Bytes(j, "answer", answer)) {
                skip("an answer to no change");
                continue;
            }
            e->answered = true;
            e->result = Text(j, "result");
            e->hr = int32_t(uint32_t(Unsigned(j, "hr")));
            e->answer = std::move(answer);
        } else if (kind == "number") {
            c->numberResults[Text(j, "number")] = Text(j, "result");
        } else if (kind == "end") {
            c->ended = true;
            c->result = Text(j, "result");
        } else {
            skip("unknown entry \"" + kind + "\"");
            continue;
        }
        out.lines[id].emplace_back(line);
    }
    return true;
}

bool ReadJournalFile(const std::string& path, JournalContents& out, std::string& error) {
    out = {};
    if (!platform::IsRegularOrMissing(path, error)) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT) return true;
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = path + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        text.append(buffer, size_t(n));
    }
    ::close(fd);
    std::string why;
    if (!ParseJournal(text, out, why)) {
        error = path + ": " + why;
        return false;
    }
    return true;
}

}  // namespace document
