// CZentServ: base of the server connection; holds the password hash operations that password
// verification and record creation share.
#pragma once

namespace server {

class CZentServ {
public:
    virtual ~CZentServ() = default;

    // 0 when clear hashes, with the salt of stored, to exactly stored; non-zero otherwise. An
    // empty (or missing) stored hash never matches.
    static int PasswordCompare(const char* stored, const char* clear);
    // dest := 12-character hash of clear, salted with 'A' + strlen(clear) and a random letter.
    static void PasswordCopy(char dest[13], const char* clear);
};

}  // namespace server
