// The question a deletion asks before it starts, in the program's language.
#pragma once

#include <string>

#include "document/Frame.h"

// The question for deleting `number` of type code `type` on all sites, with the first choice
// preset ("virtual only").
DeleteScopePrompt MakeDeleteScopePrompt(const std::string& number, int type);
