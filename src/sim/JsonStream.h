// Reading a large JSON document without holding it whole: the elements of chosen arrays under
// the root object are handed over one at a time as each is complete, and dropped afterwards, so a
// list of a hundred thousand records never stands in memory as a tree. Stricter than plain JSON
// where a silent choice would hide a mistake: a key given twice in one object is refused (rather
// than one of the two values taken), and so are objects with too many keys and deep nesting.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace sim {

using Json = nlohmann::ordered_json;

struct JsonStreamLimits {
    std::size_t maxDepth = 32;  // objects and arrays inside one another
    std::size_t maxKeys = 256;  // keys of one object (finding a key is linear in them)
};

// Called with the root's key of the array, the element's index and the element; false stops the
// reading (the callee has said why).
using JsonItemHandler = std::function<bool(const std::string& list, std::size_t index, Json& item)>;

// Parses `text` into `root`. The arrays under the root keys named in `streamed` stay empty in
// `root`: their elements go to `onItem` instead, in order. While an element is handed over,
// `root` holds every root member that came before it in the text. False with `error` ("state: not
// valid JSON: ...", "records[3]: the key \"first_name\" is given twice"; the root is called
// "state") when the text is refused, or false as onItem returned it.
bool ParseJsonStreaming(std::string_view text, const std::vector<std::string>& streamed, const JsonStreamLimits& limits,
                        const JsonItemHandler& onItem, Json& root, std::string& error);

}  // namespace sim
