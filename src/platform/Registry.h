// The registry stand-in: hives kept as regedit 5.00 text files with typed values.
//
// Machine hives (HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT) live in the machine directory, the user
// hive (HKEY_CURRENT_USER) in the user's configuration directory. QOB_REGISTRY_DIR, when set,
// points all three at one directory (tests, running without root).
//
// Key paths use backslashes and compare without regard to case, as on the platform the servers
// come from. Value names compare without regard to case too; the empty name is the default value.
// Every call opens, reads (and for writers rewrites atomically) the hive file; nothing is cached,
// so another process's changes are seen at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class RegRoot { ClassesRoot, CurrentUser, LocalMachine };

// Value types, numbered as the platform's own so that the readers' type rules carry over.
constexpr uint32_t REG_NONE = 0;
constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_EXPAND_SZ = 2;
constexpr uint32_t REG_BINARY = 3;
constexpr uint32_t REG_DWORD = 4;

struct RegValue {
    uint32_t type = REG_NONE;
    // Raw data as the platform would return it: for REG_SZ and REG_EXPAND_SZ the text in the
    // system code page with its terminating NUL; for REG_DWORD four little-endian bytes.
    std::vector<uint8_t> data;

    static RegValue String(const std::string& text, uint32_t type = REG_SZ);
    static RegValue Dword(uint32_t value);
};

// The hive file that holds the given root ("HKLM.reg", "HKCR.reg", "HKCU.reg" in its directory).
std::string RegHivePath(RegRoot root);

// True and the value when the key exists and holds the named value.
bool RegQueryValue(RegRoot root, const std::string& keyPath, const std::string& valueName, RegValue& out);
bool RegKeyExists(RegRoot root, const std::string& keyPath);

// Writers: create the key (and its parents) as needed. False when the hive cannot be written;
// RegLastError() then says why.
bool RegSetValue(RegRoot root, const std::string& keyPath, const std::string& valueName, const RegValue& value);
bool RegCreateKey(RegRoot root, const std::string& keyPath);
// Removes the key with all its subkeys and values; removing a key that does not exist succeeds.
bool RegDeleteTree(RegRoot root, const std::string& keyPath);

// Text of the last failure of a writer or of a hive file that could not be parsed.
std::string RegLastError();

}  // namespace platform
