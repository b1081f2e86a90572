// Options of one zentsim command: "--name value" or "--name=value" for valued options, bare
// "--flag" for flags; each at most once; other words are positional.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace sim {

class CommandArgs {
public:
    bool Parse(const std::vector<std::string>& words, const std::set<std::string>& valued,
               const std::set<std::string>& flags, std::string& error);

    const std::vector<std::string>& Positional() const { return m_positional; }
    std::optional<std::string> Get(const std::string& name) const;
    bool Has(const std::string& name) const { return m_options.count(name) != 0; }

private:
    std::vector<std::string> m_positional;
    std::map<std::string, std::string> m_options;
};

// Splits "a,b,c" (no empty items).
std::vector<std::string> SplitList(const std::string& text);
// A decimal integer in [lo, hi], or with allowHex a "0x" hexadecimal one.
bool ParseInteger(const std::string& text, long long lo, long long hi, bool allowHex, long long& out);

}  // namespace sim
