// A small command-line reader: positional words and "--name value" options, each option allowed
// once and only where the command lists it.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

class CArgs {
public:
    // Splits `argv` into words and options; `valued` lists the options that take a value.
    bool Parse(const std::vector<std::string>& argv, const std::set<std::string>& valued, std::string& error);

    const std::vector<std::string>& Words() const { return m_words; }
    std::optional<std::string> Get(const std::string& name) const;
    bool Has(const std::string& name) const { return m_options.count(name) != 0; }

private:
    std::vector<std::string> m_words;
    std::map<std::string, std::string> m_options;
};
