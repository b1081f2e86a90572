#include "sim/JsonStream.h"

#include <algorithm>

namespace sim {

namespace {

// Builds the tree from the parser's events, as nlohmann's own tree builder does, except that the
// elements of the streamed arrays leave the tree as soon as they are complete.
class StreamingBuilder {
public:
    using string_t = Json::string_t;

    StreamingBuilder(const std::vector<std::string>& streamed, const JsonStreamLimits& limits, const JsonItemHandler& onItem,
                     Json& root, std::string& error)
        : m_streamed(streamed), m_limits(limits), m_onItem(onItem), m_root(root), m_error(error) {}

    bool null() { return Scalar(Json(nullptr)); }
    bool boolean(bool v) { return Scalar(Json(v)); }
    bool number_integer(Json::number_integer_t v) { return Scalar(Json(v)); }
    bool number_unsigned(Json::number_unsigned_t v) { return Scalar(Json(v)); }
    bool number_float(Json::number_float_t v, const string_t&) { return Scalar(Json(v)); }
    bool string(string_t& v) { return Scalar(Json(std::move(v))); }
    bool binary(Json::binary_t&) { return Fail(PathTo(m_levels.size()), "binary data"); }
    bool start_object(std::size_t) { return Open(Json::object()); }
    bool start_array(std::size_t) { return Open(Json::array()); }
    bool end_object() { return Close(); }
    bool end_array() { return Close(); }

    bool key(string_t& k) {
        Level& level = m_levels.back();
        if (level.value->size() >= m_limits.maxKeys)
            return Fail(PathTo(m_levels.size() - 1), "more than " + std::to_string(m_limits.maxKeys) + " keys");
        if (level.value->contains(k)) return Fail(PathTo(m_levels.size() - 1), "the key \"" + k + "\" is given twice");
        level.key = std::move(k);
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) {
        m_error = std::string("state: not valid JSON: ") + e.what();
        return false;
    }

private:
    struct Level {
        Json* value;
        std::string key;                       // an object's latest key
        std::size_t count = 0;                 // an array's elements so far, handed over ones included
        const std::string* stream = nullptr;   // the root key, when the elements are handed over
    };

    bool Fail(const std::string& where, const std::string& what) {
        m_error = (where.empty() ? std::string("state") : where) + ": " + what;
        return false;
    }

    // Where the value that level `depth` holds sits: "records[3].raw". The root is "".
    std::string PathTo(std::size_t depth) const {
        std::string path;
        for (std::size_t i = 0; i < depth; ++i) {
            const Level& l = m_levels[i];
            if (l.value->is_array()) path += "[" + std::to_string(l.count - 1) + "]";
            else path += (i == 0 ? "" : ".") + l.key;
        }
        return path;
    }

    // Places a new value in its parent; the place it took.
    Json* Place(Json&& v) {
        if (m_levels.empty()) {
            m_root = std::move(v);
            return &m_root;
        }
        Level& parent = m_levels.back();
        if (parent.value->is_array()) {
            parent.value->push_back(std::move(v));
            ++parent.count;
            return &parent.value->back();
        }
        return &parent.value->emplace(parent.key, std::move(v)).first.value();
    }

    bool Scalar(Json&& v) { return Complete(Place(std::move(v))); }

    bool Open(Json&& v) {
        if (m_levels.size() >= m_limits.maxDepth)
            return Fail(PathTo(m_levels.size()), "nested deeper than " + std::to_string(m_limits.maxDepth) + " levels");
        const std::string* stream = nullptr;
        if (m_levels.size() == 1 && m_levels[0].value->is_object() && v.is_array()) {
            auto it = std::find(m_streamed.begin(), m_streamed.end(), m_levels[0].key);
            if (it != m_streamed.end()) stream = &*it;
        }
        Json* value = Place(std::move(v));
        m_levels.push_back(Level{value, {}, 0, stream});
        return true;
    }

    bool Close() {
        Json* value = m_levels.back().value;
        m_levels.pop_back();
        return Complete(value);
    }

    // A value is complete: an element of a streamed array is handed over and dropped.
    bool Complete(Json* value) {
        if (m_levels.empty() || !m_levels.back().stream) return true;
        Level& list = m_levels.back();
        if (!m_onItem(*list.stream, list.count - 1, *value)) return false;
        list.value->get_ref<Json::array_t&>().pop_back();
        return true;
    }

    const std::vector<std::string>& m_streamed;
    const JsonStreamLimits& m_limits;
    const JsonItemHandler& m_onItem;
    Json& m_root;
    std::string& m_error;
    std::vector<Level> m_levels;
};

}  // namespace

bool ParseJsonStreaming(std::string_view text, const std::vector<std::string>& streamed, const JsonStreamLimits& limits,
                        const JsonItemHandler& onItem, Json& root, std::string& error) {
    root = Json();
    StreamingBuilder builder(streamed, limits, onItem, root, error);
    return Json::sax_parse(text.begin(), text.end(), &builder);
}

}  // namespace sim
