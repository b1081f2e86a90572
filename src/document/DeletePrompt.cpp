#include "document/DeletePrompt.h"

#include "platform/Strings.h"
#include "server/RecordLayout.h"

DeleteScopePrompt MakeDeleteScopePrompt(const std::string& number, int type) {
    DeleteScopePrompt p;
    p.number = number;
    p.type = type;
    const bool group = type == server::exttype::kWorkgroup;
    // The kind word in the program's language: "group" or "extension".
    p.question = platform::FormatString(44212, platform::LoadString(group ? 47052 : 47051), number);
    p.virtualOnly = platform::LoadString(46005);
    p.everything = platform::LoadString(group ? 44210 : 44211);
    p.choice = 0;
    return p;
}
