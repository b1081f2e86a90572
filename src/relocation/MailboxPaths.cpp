#include "relocation/MailboxPaths.h"

#include "relocation/Reloc.h"

namespace relocation {

std::string MailboxSharePath(const std::string& address) {
    return "\\\\" + address + "\\" + kMailboxShareName;
}

std::string MailboxDirectory(const std::string& address, std::string_view number) {
    std::string padded(number);
    if (padded.size() < 15) padded.insert(0, 15 - padded.size(), '0');
    return MailboxSharePath(address) + "\\ext" + padded;
}

bool IsSafeMailboxNumber(std::string_view number) {
    if (number.empty() || number.find("..") != std::string_view::npos) return false;
    for (unsigned char c : number)
        if (c < 0x20 || c == 0x7F || c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' ||
            c == '<' || c == '>' || c == '|')
            return false;
    return true;
}

}  // namespace relocation
