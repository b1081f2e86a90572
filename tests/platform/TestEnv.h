// Helpers for tests that change the process environment or need a registry of their own.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

namespace testenv {

// Sets (or with nullopt unsets) an environment variable and restores it on destruction.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = ::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_.c_str(), old_->c_str(), 1);
        else
            ::unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// A fresh directory for all three hives (QOB_REGISTRY_DIR), removed afterwards.
class TempRegistry {
public:
    TempRegistry() : dir_(MakeDir()), env_("QOB_REGISTRY_DIR", dir_) {}
    ~TempRegistry() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    const std::string& dir() const { return dir_; }

private:
    static std::string MakeDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "qob-registry-XXXXXX").string();
        return ::mkdtemp(tmpl.data()) ? tmpl : std::string();
    }
    std::string dir_;
    ScopedEnv env_;
};

}  // namespace testenv
