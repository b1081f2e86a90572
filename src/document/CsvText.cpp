#include "document/CsvText.h"

std::string CsvField(std::string_view field) {
    const bool quoted = field.find_first_of(",\"\r\n") != std::string_view::npos ||
                        (!field.empty() && (field.front() == ' ' || field.back() == ' '));
    if (!quoted) return std::string(field);
    std::string out = "\"";
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ',';
        line += CsvField(fields[i]);
    }
    line += "\r\n";
    return line;
}

std::vector<std::string> SplitRowText(std::string_view row) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        const size_t tab = row.find('\t', start);
        std::string_view f = row.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
        while (!f.empty() && f.front() == ' ') f.remove_prefix(1);
        while (!f.empty() && f.back() == ' ') f.remove_suffix(1);
        fields.emplace_back(f);
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    return fields;
}
