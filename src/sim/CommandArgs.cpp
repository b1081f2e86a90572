#include "sim/CommandArgs.h"

#include <charconv>

namespace sim {

bool CommandArgs::Parse(const std::vector<std::string>& words, const std::set<std::string>& valued,
                        const std::set<std::string>& flags, std::string& error) {
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w.size() < 3 || w.compare(0, 2, "--") != 0) {
            m_positional.push_back(w);
            continue;
        }
        std::string name = w.substr(2), value;
        const std::size_t eq = name.find('=');
        const bool inlineValue = eq != std::string::npos;
        if (inlineValue) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (m_options.count(name)) {
            error = "--" + name + " is given twice";
            return false;
        }
        if (valued.count(name)) {
            if (!inlineValue) {
                if (i + 1 >= words.size()) {
                    error = "--" + name + " needs a value";
                    return false;
                }
                value = words[++i];
            }
        } else if (!flags.count(name) || inlineValue) {
            error = "unknown option --" + name;
            return false;
        }
        m_options[name] = value;
    }
    return true;
}

std::optional<std::string> CommandArgs::Get(const std::string& name) const {
    auto it = m_options.find(name);
    if (it == m_options.end()) return std::nullopt;
    return it->second;
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        if (comma > start) out.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return out;
}

bool ParseInteger(const std::string& text, long long lo, long long hi, bool allowHex, long long& out) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    int base = 10;
    if (allowHex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        first += 2;
        base = 16;
    }
    auto [p, ec] = std::from_chars(first, last, out, base);
    return !text.empty() && ec == std::errc() && p == last && out >= lo && out <= hi;
}

}  // namespace sim
