// Where the telephony server's administration program is installed, found through the uninstall
// entries of the registry stand-in.
#pragma once

#include <string>

struct AdminTool {
    std::string dir;  // ends in a path separator; empty when none was found
    std::string exe;
};

// The directory part of an uninstall value by the entry's rule: after "-c" (or from the second
// character when there is none), or between the first pair of double quotes; cut after its last
// separator ("\" or "/"), which stays.
std::string AdminDirAfterC(const std::string& value);
std::string AdminDirBetweenQuotes(const std::string& value);

// Looks the entries up in order; the first one whose directory holds the program wins.
AdminTool FindAdminTool();
