#include "cli/Args.h"

bool CArgs::Parse(const std::vector<std::string>& argv, const std::set<std::string>& valued, std::string& error) {
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
                if (!valued.count(name)) {
                    error = "unknown option --" + name;
                    return false;
                }
            } else if (valued.count(name)) {
                if (i + 1 >= argv.size()) {
                    error = "option --" + name + " needs a value";
                    return false;
                }
                value = argv[++i];
            } else {
                error = "unknown option --" + name;
                return false;
            }
            if (!m_options.emplace(name, value).second) {
                error = "option --" + name + " given twice";
                return false;
            }
        } else {
            m_words.push_back(a);
        }
    }
    return true;
}

std::optional<std::string> CArgs::Get(const std::string& name) const {
    auto it = m_options.find(name);
    if (it == m_options.end()) return std::nullopt;
    return it->second;
}
