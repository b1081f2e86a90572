#include "document/Encrypt.h"

#include "document/Utf8.h"

namespace {

std::string Shift(const std::string& text, int direction) {
    std::string out(text);
    const unsigned shift = static_cast<unsigned>(text.size()) * static_cast<unsigned>(direction);
    for (char& c : out) c = static_cast<char>(static_cast<unsigned char>(c) + shift);
    return out;
}

}  // namespace

std::string ScrambleText(const std::string& text) { return Shift(text, 1); }
std::string UnscrambleText(const std::string& text) { return Shift(text, -1); }

bool IsStorableSecret(const std::string& secret) { return IsStorableText(ScrambleText(secret)); }

// The guard's operations are virtual, so they are called from the constructor and destructor of
// this class only as this class's own, which is what the file needs.
CEfsFileGuard::CEfsFileGuard(std::string path) : m_strPath(std::move(path)) {
    if (CEfsFileGuard::IsSupported()) CEfsFileGuard::Decrypt();
}

CEfsFileGuard::~CEfsFileGuard() {
    if (CEfsFileGuard::IsSupported()) CEfsFileGuard::Encrypt();
}
