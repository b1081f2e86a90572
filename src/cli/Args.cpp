#include "cli/Args.h"

bool CArgs::Parse(const std::vector<std::string>& argv, const OptionSpec& spec, std::string& error) {
    m_words.clear();
    m_options.clear();
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            std::string name = a.substr(2);
            std::string value;
            size_t eq = name.find('=');
            if (eq != std::string::npos) {
                value = name.substr(eq + 1);
                name.resize(eq);
                if (spec.flags.count(name)) {
                    error = "option --" + name + " takes no value";
                    return false;
                }
                if (!spec.valued.count(name)) {
                    error = "unknown option --" + name;
                    return false;
                }
            } else if (spec.valued.count(name)) {
                if (i + 1 >= argv.size()) {
                    error = "option --" + name + " needs a value";
                    return false;
                }
                value = argv[++i];
            } else if (!spec.flags.count(name)) {
                error = "unknown option --" + name;
                return false;
            }
            std::vector<std::string>& values = m_options[name];
            if (!values.empty() && !spec.repeatable.count(name)) {
                error = "option --" + name + " given twice";
                return false;
            }
            values.push_back(value);
        } else {
            m_words.push_back(a);
        }
    }
    return true;
}

std::optional<std::string> CArgs::Get(const std::string& name) const {
    auto it = m_options.find(name);
    if (it == m_options.end()) return std::nullopt;
    return it->second.front();
}

std::vector<std::string> CArgs::GetAll(const std::string& name) const {
    auto it = m_options.find(name);
    return it == m_options.end() ? std::vector<std::string>{} : it->second;
}
