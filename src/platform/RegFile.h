// One registry hive as held in a regedit 5.00 text file, without any file access.
//
// File form (UTF-8; CR LF or LF on read, LF on write; an initial byte-order mark is skipped):
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Korvex\TarnManager]
//   @="default value"
//   "VersionLow"=dword:00000460
//   "Path"=hex(2):25,00,41,00,00,00      (any type as hex(N): raw data, may continue with "\")
//   "Blob"=hex:01,02,03                  (REG_BINARY)
//
// Strings escape only \\ and \". As on the platform the data of the string types (REG_SZ,
// REG_EXPAND_SZ, REG_MULTI_SZ) is UTF-16LE: a quoted string becomes its UTF-16LE units plus a
// NUL unit, and the hex form of those types holds UTF-16LE bytes. Data that a quoted string
// cannot carry (no single final NUL, line breaks, unpaired surrogates) is written as hex(1).
//
// Paths here are UTF-8 below the hive's root, components joined by one backslash; "" is the
// root itself. Paths and value names compare with ASCII letters folded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform::regfile {

struct Value {
    std::string name;  // UTF-8; empty for the default value
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

struct Key {
    std::string path;
    std::vector<Value> values;
};

struct ParseError {
    size_t line = 0;  // 1-based; 0 when there was none
    std::string message;
};

// The path with empty components dropped ("A\\B\" is "A\B").
std::string NormalizePath(std::string_view path);
// ASCII letters in lower case; the form paths and names are compared in.
std::string Fold(std::string_view text);

class Hive {
public:
    const std::vector<Key>& keys() const { return keys_; }

    const Key* FindKey(std::string_view path) const;
    // True for a key that has a section of its own or lies above one.
    bool KeyExists(std::string_view path) const;
    // The key, created with all its missing parents (each gets a section of its own).
    Key& CreateKey(std::string_view path);
    // Removes the key and everything below it; false when there was nothing to remove.
    bool DeleteTree(std::string_view path);

    static const Value* FindValue(const Key& key, std::string_view name);
    // Adds or replaces (keeping the stored name's spelling) the value of the same name.
    static void SetValue(Key& key, Value value);

private:
    friend bool Parse(std::string_view, std::string_view, Hive&, ParseError&);
    void Reindex();

    std::vector<Key> keys_;
    std::unordered_map<std::string, size_t> index_;  // folded path -> position in keys_
};

// Parses the text of the hive whose sections must lie under rootName ("HKEY_LOCAL_MACHINE").
// A line that cannot be understood is skipped, and so is every value of a section whose header
// could not be; the first such line is reported and the result is false. A later section or value
// of the same name replaces an earlier one. Empty text is an empty hive.
bool Parse(std::string_view text, std::string_view rootName, Hive& out, ParseError& error);

// The hive in file form. False (and `out` undefined) when a path or value name cannot be written:
// it holds a line break or NUL.
bool Serialize(const Hive& hive, std::string_view rootName, std::string& out);

// True when the path or value name can be written to a hive file.
bool IsWritableName(std::string_view name);

}  // namespace platform::regfile
