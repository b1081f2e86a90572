// A small command-line reader: positional words and "--name value" options, each option allowed
// only where the command lists it, and once unless the command lets it repeat.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct OptionSpec {
    std::set<std::string> valued;      // "--name value" or "--name=value"
    std::set<std::string> flags;       // "--name" alone
    std::set<std::string> repeatable;  // valued options that may be given more than once
};

class CArgs {
public:
    // Splits `argv` into words and options; `valued` lists the options that take a value.
    bool Parse(const std::vector<std::string>& argv, const std::set<std::string>& valued, std::string& error) {
        return Parse(argv, OptionSpec{valued, {}, {}}, error);
    }
    // The same with flags and repeatable options.
    bool Parse(const std::vector<std::string>& argv, const OptionSpec& spec, std::string& error);

    const std::vector<std::string>& Words() const { return m_words; }
    // The option's value (the first one of a repeated option).
    std::optional<std::string> Get(const std::string& name) const;
    // Every value of the option, in command-line order.
    std::vector<std::string> GetAll(const std::string& name) const;
    bool Has(const std::string& name) const { return m_options.count(name) != 0; }

private:
    std::vector<std::string> m_words;
    std::map<std::string, std::vector<std::string>> m_options;
};
