#include "platform/RegFile.h"

#include <algorithm>
#include <cstdio>

#include "platform/Unicode.h"

namespace platform::regfile {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr uint32_t kRegSz = 1, kRegBinary = 3, kRegDword = 4;

char FoldChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldChar(a[i]) != FoldChar(b[i])) return false;
    return true;
}

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && IsSpace(s[i])) ++i;
    return s.substr(i);
}

std::string_view TrimRight(std::string_view s) {
    size_t n = s.size();
    while (n > 0 && IsSpace(s[n - 1])) --n;
    return s.substr(0, n);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// 1 to 8 hex digits, nothing else.
bool ParseHex32(std::string_view s, uint32_t& out) {
    if (s.empty() || s.size() > 8) return false;
    uint32_t v = 0;
    for (char c : s) {
        int d = HexDigit(c);
        if (d < 0) return false;
        v = (v << 4) | static_cast<uint32_t>(d);
    }
    out = v;
    return true;
}

// "xx,xx,..." with blanks around the bytes and an optional final comma.
bool ParseHexBytes(std::string_view s, std::vector<uint8_t>& out) {
    s = TrimRight(TrimLeft(s));
    if (s.empty()) return true;
    out.reserve(s.size() / 3 + 1);
    size_t pos = 0;
    while (true) {
        size_t comma = s.find(',', pos);
        std::string_view token = TrimRight(TrimLeft(s.substr(pos, comma == std::string_view::npos ? s.npos : comma - pos)));
        if (token.empty()) return comma == std::string_view::npos && !out.empty();  // only after a final comma
        if (token.size() > 2) return false;
        int hi = HexDigit(token[0]);
        int lo = token.size() == 2 ? HexDigit(token[1]) : 0;
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<uint8_t>(token.size() == 2 ? (hi << 4) | lo : hi));
        if (comma == std::string_view::npos) return true;
        pos = comma + 1;
    }
}

// A quoted text starting at s[pos] (the opening quote), escapes \\ and \" only. On success pos
// is just past the closing quote.
bool ParseQuoted(std::string_view s, size_t& pos, std::string& out) {
    if (pos >= s.size() || s[pos] != '"') return false;
    out.clear();
    for (size_t i = pos + 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) return false;
            c = s[++i];
        }
        out.push_back(c);
    }
    return false;
}

void AppendQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    for (char c : text) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
}

std::u16string UnitsOf(const std::vector<uint8_t>& data) {
    std::u16string units(data.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    return units;
}

// The UTF-8 text of a REG_SZ value that a quoted string reproduces exactly, if there is one.
bool QuotableText(const Value& v, std::string& text) {
    if (v.type != kRegSz || v.data.size() < 2 || v.data.size() % 2 != 0) return false;
    std::u16string units = UnitsOf(v.data);
    if (units.back() != u'\0') return false;
    units.pop_back();
    for (char16_t u : units)
        if (u == u'\0' || u == u'\r' || u == u'\n') return false;
    return Utf16ToUtf8(units, text);
}

void AppendHexData(std::string& out, const Value& v, size_t column) {
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < v.data.size(); ++i) {
        out.push_back(kDigits[v.data[i] >> 4]);
        out.push_back(kDigits[v.data[i] & 15]);
        column += 2;
        if (i + 1 < v.data.size()) {
            out.push_back(',');
            ++column;
            if (column > 76) {  // regedit's wrapping, so the files stay readable
                out += "\\\n  ";
                column = 2;
            }
        }
    }
}

class Parser {
public:
    Parser(std::string_view text, std::string_view root, std::vector<Key>& keys,
           std::unordered_map<std::string, size_t>& index, ParseError& error)
        : text_(text), root_(root), keys_(&keys), index_(&index), error_(error) {}

    bool Run() {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") text_.remove_prefix(3);
        bool headerSeen = false;
        std::string_view line;
        while (NextLine(line)) {
            std::string_view body = TrimLeft(line);
            if (TrimRight(body).empty()) continue;
            if (!headerSeen) {
                headerSeen = true;
                if (TrimRight(body) == kHeader) continue;
                Fail("missing the line \"Windows Registry Editor Version 5.00\"");
            }
            if (body[0] == ';') continue;
            if (body[0] == '[') {
                Section(body);
            } else if (body[0] == '"' || body[0] == '@') {
                ValueLine(body);
            } else {
                Fail("neither a key section nor a value");
            }
        }
        return error_.line == 0;
    }

private:
    bool NextLine(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        size_t nl = text_.find('\n', pos_);
        size_t end = nl == std::string_view::npos ? text_.size() : nl;
        line = text_.substr(pos_, end - pos_);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos_ = nl == std::string_view::npos ? text_.size() : nl + 1;
        ++lineNo_;
        return true;
    }

    void Fail(std::string message) {
        if (error_.line != 0) return;
        error_.line = lineNo_;
        error_.message = std::move(message);
    }

    void Section(std::string_view body) {
        current_ = kNone;
        size_t close = body.rfind(']');
        if (close == std::string_view::npos || !TrimRight(body.substr(close + 1)).empty())
            return Fail("key section without its closing ']'");
        std::string_view name = body.substr(1, close - 1);
        if (!name.empty() && name[0] == '-') return Fail("key deletions do not belong in a hive");
        size_t slash = name.find('\\');
        std::string_view root = name.substr(0, slash);
        if (!EqualsFolded(root, root_)) return Fail("key outside " + std::string(root_));
        std::string path = slash == std::string_view::npos ? std::string() : NormalizePath(name.substr(slash + 1));
        if (!IsWritableName(path)) return Fail("key name is not valid UTF-8 text");
        std::string folded = Fold(path);
        auto it = index_->find(folded);
        if (it != index_->end()) {
            current_ = it->second;
        } else {
            current_ = keys_->size();
            keys_->push_back(Key{std::move(path), {}});
            index_->emplace(std::move(folded), current_);
        }
    }

    void ValueLine(std::string_view body) {
        Value v;
        size_t pos = 0;
        if (body[0] == '@') {
            pos = 1;
        } else if (!ParseQuoted(body, pos, v.name) || !IsWritableName(v.name)) {
            return Fail("value name is not a valid quoted text");
        }
        std::string_view rest = TrimLeft(body.substr(pos));
        if (rest.empty() || rest[0] != '=') return Fail("value name without '='");
        rest = TrimLeft(rest.substr(1));
        if (!ParseData(rest, v)) return;
        if (current_ == kNone) {
            Fail("value outside a valid key section");
            return;
        }
        std::string slot = std::to_string(current_) + '\n' + Fold(v.name);
        Key& key = (*keys_)[current_];
        auto it = values_.find(slot);
        if (it != values_.end()) {
            key.values[it->second].type = v.type;
            key.values[it->second].data = std::move(v.data);
        } else {
            values_.emplace(std::move(slot), key.values.size());
            key.values.push_back(std::move(v));
        }
    }

    bool ParseData(std::string_view rest, Value& v) {
        if (!rest.empty() && rest[0] == '"') {
            size_t pos = 0;
            std::string text;
            if (!ParseQuoted(rest, pos, text) || !TrimRight(rest.substr(pos)).empty()) {
                Fail("string value is not a valid quoted text");
                return false;
            }
            std::u16string units;
            if (!Utf8ToUtf16(text, units)) {
                Fail("string value is not valid UTF-8");
                return false;
            }
            v.type = kRegSz;
            v.data.reserve(units.size() * 2 + 2);
            for (char16_t u : units) {
                v.data.push_back(static_cast<uint8_t>(u & 0xFF));
                v.data.push_back(static_cast<uint8_t>(u >> 8));
            }
            v.data.push_back(0);
            v.data.push_back(0);
            return true;
        }
        if (rest.substr(0, 6) == "dword:") {
            uint32_t n = 0;
            if (!ParseHex32(TrimRight(rest.substr(6)), n)) {
                Fail("dword value is not 1 to 8 hex digits");
                return false;
            }
            v.type = kRegDword;
            v.data = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
                      static_cast<uint8_t>(n >> 24)};
            return true;
        }
        if (rest.substr(0, 3) == "hex") {
            rest.remove_prefix(3);
            v.type = kRegBinary;
            if (!rest.empty() && rest[0] == '(') {
                size_t close = rest.find(')');
                if (close == std::string_view::npos || !ParseHex32(rest.substr(1, close - 1), v.type)) {
                    Fail("hex value with a bad type number");
                    return false;
                }
                rest.remove_prefix(close + 1);
            }
            if (rest.empty() || rest[0] != ':') {
                Fail("hex value without ':'");
                return false;
            }
            rest.remove_prefix(1);
            // Data continues on the next line after a final backslash.
            std::string joined;
            std::string_view piece = TrimRight(rest);
            std::string_view next;
            while (!piece.empty() && piece.back() == '\\') {
                joined.append(piece.substr(0, piece.size() - 1));
                if (!NextLine(next)) {
                    piece = {};
                    break;
                }
                piece = TrimRight(next);
            }
            joined.append(piece);
            if (!ParseHexBytes(joined, v.data)) {
                Fail("hex value with bytes that are not two hex digits each");
                return false;
            }
            return true;
        }
        if (rest.substr(0, 1) == "-") {
            Fail("value deletions do not belong in a hive");
            return false;
        }
        Fail("value data of an unknown form");
        return false;
    }

    static constexpr size_t kNone = static_cast<size_t>(-1);

    std::string_view text_;
    std::string_view root_;
    std::vector<Key>* keys_;
    std::unordered_map<std::string, size_t>* index_;
    ParseError& error_;
    std::unordered_map<std::string, size_t> values_;  // key position + folded name -> value position
    size_t pos_ = 0;
    size_t lineNo_ = 0;
    size_t current_ = kNone;
};

}  // namespace

std::string NormalizePath(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t slash = path.find('\\', pos);
        if (slash == std::string_view::npos) slash = path.size();
        if (slash > pos) {
            if (!out.empty()) out.push_back('\\');
            out.append(path.substr(pos, slash - pos));
        }
        pos = slash + 1;
    }
    return out;
}

std::string Fold(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = FoldChar(c);
    return out;
}

bool IsWritableName(std::string_view name) {
    if (name.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos) return false;
    std::u16string ignored;
    return Utf8ToUtf16(name, ignored);
}

const Key* Hive::FindKey(std::string_view path) const {
    auto it = index_.find(Fold(NormalizePath(path)));
    return it == index_.end() ? nullptr : &keys_[it->second];
}

bool Hive::KeyExists(std::string_view path) const {
    std::string folded = Fold(NormalizePath(path));
    if (folded.empty() || index_.count(folded)) return true;
    folded.push_back('\\');
    for (const Key& k : keys_)
        if (k.path.size() > folded.size() && EqualsFolded(std::string_view(k.path).substr(0, folded.size()), folded))
            return true;
    return false;
}

Key& Hive::CreateKey(std::string_view path) {
    std::string norm = NormalizePath(path);
    size_t found = static_cast<size_t>(-1);
    size_t end = 0;
    while (true) {
        size_t slash = norm.find('\\', end);
        std::string prefix = norm.substr(0, slash);
        std::string folded = Fold(prefix);
        auto it = index_.find(folded);
        if (it != index_.end()) {
            found = it->second;
        } else {
            found = keys_.size();
            keys_.push_back(Key{std::move(prefix), {}});
            index_.emplace(std::move(folded), found);
        }
        if (slash == std::string::npos) break;
        end = slash + 1;
    }
    return keys_[found];
}

bool Hive::DeleteTree(std::string_view path) {
    std::string folded = Fold(NormalizePath(path));
    std::string below = folded.empty() ? folded : folded + '\\';
    size_t before = keys_.size();
    keys_.erase(std::remove_if(keys_.begin(), keys_.end(),
                               [&](const Key& k) {
                                   std::string f = Fold(k.path);
                                   return f == folded || f.compare(0, below.size(), below) == 0;
                               }),
                keys_.end());
    if (keys_.size() == before) return false;
    Reindex();
    return true;
}

void Hive::Reindex() {
    index_.clear();
    for (size_t i = 0; i < keys_.size(); ++i) index_.emplace(Fold(keys_[i].path), i);
}

const Value* Hive::FindValue(const Key& key, std::string_view name) {
    for (const Value& v : key.values)
        if (EqualsFolded(v.name, name)) return &v;
    return nullptr;
}

void Hive::SetValue(Key& key, Value value) {
    for (Value& v : key.values) {
        if (EqualsFolded(v.name, value.name)) {
            v.type = value.type;
            v.data = std::move(value.data);
            return;
        }
    }
    key.values.push_back(std::move(value));
}

bool Parse(std::string_view text, std::string_view rootName, Hive& out, ParseError& error) {
    out.keys_.clear();
    out.index_.clear();
    error = ParseError{};
    return Parser(text, rootName, out.keys_, out.index_, error).Run();
}

bool Serialize(const Hive& hive, std::string_view rootName, std::string& out) {
    out.clear();
    out.append(kHeader).append("\n\n");
    std::string text;
    char number[16];
    for (const Key& key : hive.keys()) {
        if (!IsWritableName(key.path)) return false;
        out.push_back('[');
        out.append(rootName);
        if (!key.path.empty()) out.append("\\").append(key.path);
        out.append("]\n");
        for (const Value& v : key.values) {
            if (!IsWritableName(v.name)) return false;
            size_t lineStart = out.size();
            if (v.name.empty())
                out.push_back('@');
            else
                AppendQuoted(out, v.name);
            out.push_back('=');
            if (QuotableText(v, text)) {
                AppendQuoted(out, text);
            } else if (v.type == kRegDword && v.data.size() == 4) {
                uint32_t n = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<uint32_t>(v.data[3]) << 24);
                std::snprintf(number, sizeof number, "dword:%08x", n);
                out.append(number);
            } else {
                if (v.type == kRegBinary) {
                    out.append("hex:");
                } else {
                    std::snprintf(number, sizeof number, "hex(%x):", v.type);
                    out.append(number);
                }
                AppendHexData(out, v, out.size() - lineStart);
            }
            out.push_back('\n');
        }
        out.push_back('\n');
    }
    return true;
}

}  // namespace platform::regfile
