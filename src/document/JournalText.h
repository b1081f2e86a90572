// The change journal's commands as text: one line per command, its changes field by field, and
// what undoing or checking it found per site and number. qob-cli prints these; the History
// window shows the same. Password hashes are never shown.
#pragma once

#include <string>
#include <vector>

#include "document/JournalFormat.h"
#include "document/UndoPlan.h"

namespace document {

std::string JoinedWords(const std::vector<std::string>& words, const char* sep = ",");
// "ok", "failed", "cancelled", or that the program ended in it.
std::string CommandOutcome(const JournalCommand& c);
// ID, time, kind, sites, numbers and outcome, separated by tabs.
std::string CommandLine(const JournalCommand& c);
// Who gave it and how, then every change per site (number, method, answer, what differs), then
// each number's outcome.
std::vector<std::string> CommandDetails(const JournalCommand& c);
// One change: number, method, answer and what it changed, separated by tabs.
std::string DescribeChange(const JournalEntry& e);
// What differs between two records of a number, field by field.
std::string RecordChange(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after);
// Whether a change of the command reached its site, as the site holds it now (site, number,
// kind, state). Empty for a step that is only a note.
std::string ReachedText(const UndoStep& s);
// Which numbers of the command were not done (failed, cancelled, never reached).
std::vector<std::string> NumbersNotDone(const JournalCommand& c);

}  // namespace document
