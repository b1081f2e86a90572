// Undoing a command of the change journal: the steps worked out against the downloaded sites,
// sent through their connections (or planned only), one line of outcome per step.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "document/UndoPlan.h"

class CQOBDoc;

namespace server {
class CChangePlan;
}

namespace document {

// What a step is and what becomes of it before anything is sent (site, number, kind, verdict).
// `forceHint` says how a change made since could be put back all the same.
std::string UndoStepText(const UndoStep& s, const std::string& forceHint);

// Sends every step that restores (and, with `force`, those changed since) through the document's
// connections; with `plan` set nothing is sent and each line says what would be. `line` gets one
// text per step. False when a step failed, was left as changed since, its site was not
// downloaded, or the command was cancelled before it.
bool RunUndo(CQOBDoc& doc, const std::vector<UndoStep>& steps, bool force, server::CChangePlan* plan,
             const std::string& forceHint, const std::function<void(const std::string&)>& line);

}  // namespace document
