// Reading and rewriting one hive file. Readers take no lock: a writer replaces the file by a
// rename, so a reader sees either the old or the new text. Writers serialise on an flock of
// "<hive>.lock" beside it, so that processes writing the same hive at once lose nothing.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/RegFile.h"

namespace platform::hivefile {

// Loads the hive; a missing file is an empty hive. False when the file could not be read or some
// of it not parsed: `hive` then holds what could be understood and `error` says which file and
// line.
bool Load(const std::string& path, std::string_view rootName, regfile::Hive& hive, std::string& error);

enum class Edit { Changed, Unchanged, Failed };

// Under the hive's lock: loads it, applies `edit` and, when that changed it, writes the new text
// to a temporary file and renames it over the hive. A hive that could not be parsed is never
// rewritten. Creates the directory as needed.
bool Update(const std::string& path, std::string_view rootName,
            const std::function<Edit(regfile::Hive&, std::string& error)>& edit, std::string& error);

}  // namespace platform::hivefile
