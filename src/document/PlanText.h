// A change plan read out: each planned call as an administrator would say what it does.
#pragma once

#include <string>

#include "server/ChangePlan.h"

// What the call would do on its site, decoded from the request bytes it would send: the kind,
// dial string and mail address of a new copy, the fields a rewrite changes (old -> new), the
// record a deletion removes, a membership change, a relocation with or without the mailbox.
std::string DescribePlannedCall(const server::PlannedCall& call);
