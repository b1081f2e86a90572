#include "platform/Registry.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>

#include "platform/CodePage.h"
#include "platform/HiveFile.h"
#include "platform/RegFile.h"

namespace platform {
namespace {

constexpr const char* kMachineDir = "/var/lib/tarn-manager/registry";

thread_local std::string t_lastError;

const char* RootName(RegRoot root) {
    switch (root) {
        case RegRoot::ClassesRoot: return "HKEY_CLASSES_ROOT";
        case RegRoot::CurrentUser: return "HKEY_CURRENT_USER";
        case RegRoot::LocalMachine: break;
    }
    return "HKEY_LOCAL_MACHINE";
}

const char* FileName(RegRoot root) {
    switch (root) {
        case RegRoot::ClassesRoot: return "HKCR.reg";
        case RegRoot::CurrentUser: return "HKCU.reg";
        case RegRoot::LocalMachine: break;
    }
    return "HKLM.reg";
}

std::string UserConfigDir() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') return xdg;
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.config";
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buf[4096];
    if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_dir)
        return std::string(found->pw_dir) + "/.config";
    return "/tmp";
}

bool IsStringType(uint32_t type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == 7 /* REG_MULTI_SZ */; }

// The hive keeps strings as the platform does, in UTF-16; callers deal in the code page.
regfile::Value ToStored(const std::string& name, const RegValue& value) {
    regfile::Value v;
    v.name = name;
    v.type = value.type;
    if (!IsStringType(value.type)) {
        v.data = value.data;
        return v;
    }
    std::u16string units = CodePageToUtf16(
        std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size()));
    v.data.reserve(units.size() * 2);
    for (char16_t u : units) {
        v.data.push_back(static_cast<uint8_t>(u & 0xFF));
        v.data.push_back(static_cast<uint8_t>(u >> 8));
    }
    return v;
}

RegValue FromStored(const regfile::Value& v) {
    RegValue out;
    out.type = v.type;
    if (!IsStringType(v.type)) {
        out.data = v.data;
        return out;
    }
    std::u16string units(v.data.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(v.data[2 * i] | (v.data[2 * i + 1] << 8));
    std::string text = Utf16ToCodePage(units);
    out.data.assign(text.begin(), text.end());
    return out;
}

bool LoadHive(RegRoot root, regfile::Hive& hive) {
    std::string error;
    if (hivefile::Load(RegHivePath(root), RootName(root), hive, error)) return true;
    t_lastError = std::move(error);
    return false;  // what could be parsed is still in `hive`
}

// A path or name in the file's UTF-8; false when no hive file can hold it.
bool ToFileName(const std::string& text, std::string& out, const char* what) {
    out = CodePageToUtf8(text);
    if (regfile::IsWritableName(out)) return true;
    t_lastError = std::string(what) + " holds a line break or NUL";
    return false;
}

bool UpdateHive(RegRoot root, const std::function<hivefile::Edit(regfile::Hive&, std::string&)>& edit) {
    std::string error;
    if (hivefile::Update(RegHivePath(root), RootName(root), edit, error)) return true;
    t_lastError = std::move(error);
    return false;
}

}  // namespace

RegValue RegValue::String(const std::string& text, uint32_t type) {
    RegValue v;
    v.type = type;
    v.data.reserve(text.size() + 1);
    v.data.assign(text.begin(), text.end());
    v.data.push_back(0);
    return v;
}

RegValue RegValue::Dword(uint32_t value) {
    RegValue v;
    v.type = REG_DWORD;
    v.data = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
              static_cast<uint8_t>(value >> 24)};
    return v;
}

std::string RegHivePath(RegRoot root) {
    std::string dir;
    if (const char* env = std::getenv("QOB_REGISTRY_DIR"); env && *env)
        dir = env;
    else
        dir = root == RegRoot::CurrentUser ? UserConfigDir() + "/tarn-manager" : kMachineDir;
    return dir + "/" + FileName(root);
}

bool RegQueryValue(RegRoot root, const std::string& keyPath, const std::string& valueName, RegValue& out) {
    regfile::Hive hive;
    LoadHive(root, hive);
    const regfile::Key* key = hive.FindKey(CodePageToUtf8(keyPath));
    if (!key) return false;
    const regfile::Value* v = regfile::Hive::FindValue(*key, CodePageToUtf8(valueName));
    if (!v) return false;
    out = FromStored(*v);
    return true;
}

bool RegKeyExists(RegRoot root, const std::string& keyPath) {
    regfile::Hive hive;
    LoadHive(root, hive);
    return hive.KeyExists(CodePageToUtf8(keyPath));
}

bool RegSetValue(RegRoot root, const std::string& keyPath, const std::string& valueName, const RegValue& value) {
    std::string path, name;
    if (!ToFileName(keyPath, path, "key path") || !ToFileName(valueName, name, "value name")) return false;
    regfile::Value stored = ToStored(name, value);
    return UpdateHive(root, [&](regfile::Hive& hive, std::string&) {
        if (const regfile::Key* key = hive.FindKey(path)) {
            const regfile::Value* old = regfile::Hive::FindValue(*key, name);
            if (old && old->type == stored.type && old->data == stored.data) return hivefile::Edit::Unchanged;
        }
        regfile::Hive::SetValue(hive.CreateKey(path), std::move(stored));
        return hivefile::Edit::Changed;
    });
}

bool RegCreateKey(RegRoot root, const std::string& keyPath) {
    std::string path;
    if (!ToFileName(keyPath, path, "key path")) return false;
    return UpdateHive(root, [&](regfile::Hive& hive, std::string&) {
        if (hive.FindKey(path)) return hivefile::Edit::Unchanged;
        hive.CreateKey(path);
        return hivefile::Edit::Changed;
    });
}

bool RegDeleteTree(RegRoot root, const std::string& keyPath) {
    struct stat st {};
    if (::stat(RegHivePath(root).c_str(), &st) != 0 && errno == ENOENT) return true;  // nothing to remove
    std::string path = CodePageToUtf8(keyPath);
    return UpdateHive(root, [&](regfile::Hive& hive, std::string&) {
        return hive.DeleteTree(path) ? hivefile::Edit::Changed : hivefile::Edit::Unchanged;
    });
}

std::string RegLastError() { return t_lastError; }

}  // namespace platform
