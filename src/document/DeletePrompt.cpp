#include "document/DeletePrompt.h"

#include "platform/Strings.h"
#include "server/RecordLayout.h"

DeleteScopePrompt MakeDeleteScopePrompt(const std::string& number, int type) {
    DeleteScopePrompt p;
    p.number = number;
    p.type = type;
    const bool group = type == server::exttype::kWorkgroup;
    p.question = platform::FormatString(44212, group ? "group" : "extension", number);
    p.virtualOnly = platform::LoadString(46005);
    p.everything = platform::LoadString(group ? 44210 : 44211);
    p.choice = 0;
    return p;
}
