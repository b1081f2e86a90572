// Stored-secret scrambling and the guard that keeps the configuration file encrypted by the file
// system while the program does not use it.
#pragma once

#include <string>

// Each character moved by the text's length (mod 256); same length out as in.
std::string ScrambleText(const std::string& text);
std::string UnscrambleText(const std::string& text);

// True when the secret's scrambled form survives the configuration file unchanged. Some secrets
// scramble into a byte the file cannot hold (a NUL, a control character, a carriage return, a
// byte the code page cannot map), which would give a different password on the next start.
bool IsStorableSecret(const std::string& secret);

// Decrypts the file in place on construction and encrypts it again on destruction. This file
// system has no per-file encryption, so both do nothing; the program never relies on them.
class CEfsFileGuard {
public:
    explicit CEfsFileGuard(std::string path);
    virtual ~CEfsFileGuard();
    CEfsFileGuard(const CEfsFileGuard&) = delete;
    CEfsFileGuard& operator=(const CEfsFileGuard&) = delete;

    virtual bool IsSupported() const { return true; }
    virtual bool Encrypt() { return false; }
    virtual bool Decrypt() { return false; }

private:
    std::string m_strPath;
};
