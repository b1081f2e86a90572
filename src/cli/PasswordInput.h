// The server passwords given to a download as "SITE=PASSWORD", on the command line or on standard
// input. Messages name the site and the line, never the password.
#pragma once

#include <istream>
#include <string>
#include <vector>

struct GivenPassword {
    std::string site;      // code page text, as typed
    std::string password;  // code page text
    std::string origin;    // where it was given, for messages: "--password", "standard input, line 3"
};

// One "SITE=PASSWORD" text in UTF-8; the site ends at the first "=". False with `error` when the
// text has no "=", or a part the code page or the configuration file cannot hold.
bool ParsePasswordSpec(const std::string& utf8, const std::string& origin, GivenPassword& out, std::string& error);

// Every "SITE=PASSWORD" line up to the end of `in`. A carriage return ending a line is dropped;
// empty lines and lines of blanks and tabs only are skipped.
bool ReadPasswordLines(std::istream& in, std::vector<GivenPassword>& out, std::string& error);
