#include "sim/StateCodec.h"

#include <initializer_list>

#include "platform/CodePage.h"
#include "sim/HexBytes.h"
#include "sim/JsonStream.h"
#include "sim/RecordBuilder.h"
#include "sim/RecordFields.h"

namespace sim {

namespace {

constexpr JsonStreamLimits kLimits{32, 256};
constexpr auto kReplace = nlohmann::detail::error_handler_t::replace;

std::string Dump(const Json& j) { return j.dump(-1, ' ', false, kReplace); }

// Reading with the place of every problem in the message.
class Reader {
public:
    explicit Reader(std::string& error) : m_error(error) {}

    bool Fail(const std::string& path, const std::string& what) {
        m_error = path + ": " + what;
        return false;
    }
    bool Object(const Json& v, const std::string& path, std::initializer_list<std::string_view> keys) {
        if (!v.is_object()) return Fail(path, "must be an object");
        for (auto it = v.begin(); it != v.end(); ++it) {
            bool known = false;
            for (std::string_view k : keys) known = known || it.key() == k;
            if (!known) return Fail(path, "unknown field \"" + it.key() + "\"");
        }
        return true;
    }
    bool Array(const Json& v, const std::string& path) { return v.is_array() || Fail(path, "must be an array"); }
    bool Int(const Json& obj, const char* key, const std::string& path, int64_t lo, int64_t hi, int64_t& out,
             bool required = false) {
        auto it = obj.find(key);
        if (it == obj.end()) return !required || Fail(path, std::string("\"") + key + "\" is missing");
        if (!it->is_number_integer() || it->get<int64_t>() < lo || it->get<int64_t>() > hi ||
            (it->is_number_unsigned() && it->get<uint64_t>() > uint64_t(INT64_MAX)))
            return Fail(path + "." + key, "must be an integer from " + std::to_string(lo) + " to " + std::to_string(hi));
        out = it->get<int64_t>();
        return true;
    }
    bool Hex16(const Json& obj, const char* key, const std::string& path, uint16_t& out) {
        auto it = obj.find(key);
        if (it == obj.end()) return true;
        com::HRESULT v = 0;
        bool ok = it->is_number_unsigned() ? it->get<uint64_t>() <= 0xFFFF
                  : it->is_string()        ? ParseHResult(it->get_ref<const std::string&>(), v) && uint32_t(v) <= 0xFFFF
                                           : false;
        if (!ok) return Fail(path + "." + key, "must be a 16-bit value such as \"0x0480\"");
        out = it->is_number_unsigned() ? uint16_t(it->get<uint64_t>()) : uint16_t(v);
        return true;
    }
    bool Hr(const Json& v, const std::string& path, com::HRESULT& out) {
        if (v.is_string() && ParseHResult(v.get_ref<const std::string&>(), out)) return true;
        if (v.is_number_integer() && v.get<int64_t>() >= INT32_MIN && v.get<int64_t>() <= int64_t(UINT32_MAX) &&
            !(v.is_number_unsigned() && v.get<uint64_t>() > UINT32_MAX)) {
            out = com::MakeHr(uint32_t(v.get<int64_t>()));
            return true;
        }
        return Fail(path, "must be an HRESULT such as \"0x80004005\" or E_FAIL");
    }
    bool Text(const Json& obj, const char* key, const std::string& path, std::string& out, bool required = false) {
        auto it = obj.find(key);
        if (it == obj.end()) return !required || Fail(path, std::string("\"") + key + "\" is missing");
        if (!it->is_string()) return Fail(path + "." + key, "must be text");
        out = it->get<std::string>();
        return true;
    }
    bool Bool(const Json& obj, const char* key, const std::string& path, bool& out) {
        auto it = obj.find(key);
        if (it == obj.end()) return true;
        if (!it->is_boolean()) return Fail(path + "." + key, "must be true or false");
        out = it->get<bool>();
        return true;
    }
    bool Block(const Json& obj, const std::string& path, Bytes& out) {
        std::string hex;
        if (!Text(obj, "hex", path, hex, true)) return false;
        if (hex.size() > 2 * kMaxDataBlock) return Fail(path + ".hex", "longer than " + std::to_string(kMaxDataBlock) + " bytes");
        if (!HexDecode(hex, out)) return Fail(path + ".hex", "must be an even number of hex digits");
        return true;
    }
    // Text kept in the code page: what it cannot hold is refused, never turned into "?".
    bool CodePageText(const std::string& utf8, const std::string& path, std::string& out) {
        platform::TextProblem problem;
        if (platform::Utf8ToCodePageExact(utf8, out, &problem)) return true;
        return Fail(path, "\"" + utf8 + "\" " + problem.Describe());
    }
    // A number as sites accept it, kept in the code page.
    bool Number(const Json& obj, const std::string& path, std::string& out) {
        std::string utf8;
        if (!Text(obj, "number", path, utf8, true)) return false;
        if (!platform::Utf8ToCodePageExact(utf8, out) || !IsValidNumber(out))
            return Fail(path + ".number", "\"" + utf8 + "\" is not 1 to 16 printable characters");
        return true;
    }

private:
    std::string& m_error;
};

std::string Where(const char* list, std::size_t k, const Json& item) {
    std::string path = std::string(list) + "[" + std::to_string(k) + "]";
    if (item.is_object()) {
        auto it = item.find("number");
        if (it != item.end() && it->is_string()) path += " (number " + Dump(*it) + ")";
    }
    return path;
}

bool ReadSystem(Reader& r, const Json& j, SysConfig& c) {
    const std::string path = "system";
    if (!r.Object(j, path, {"version", "admin_password_hash", "ext_number_length", "record_length", "dial_plan",
                            "tie_trunk"}))
        return false;
    int64_t v = 0;
    if (!r.Hex16(j, "version", path, c.version) || !r.Text(j, "admin_password_hash", path, c.adminHash)) return false;
    if (!r.Int(j, "ext_number_length", path, 1, kMaxExtNumberLength, v)) return false;
    if (j.contains("ext_number_length")) c.extNumberLength = int32_t(v);
    if (!r.Int(j, "record_length", path, kMinRecordLength, kMaxRecordLength, v)) return false;
    if (j.contains("record_length")) c.recordLength = uint16_t(v);
    c.dialPlan.clear();
    if (auto it = j.find("dial_plan"); it != j.end()) {
        if (!r.Array(*it, path + ".dial_plan")) return false;
        for (std::size_t k = 0; k < it->size(); ++k) {
            const Json& e = (*it)[k];
            const std::string p = path + ".dial_plan[" + std::to_string(k) + "]";
            std::string ch;
            if (!r.Object(e, p, {"char", "class"}) || !r.Text(e, "char", p, ch, true) ||
                !r.Int(e, "class", p, INT32_MIN, INT32_MAX, v, true))
                return false;
            std::string cp;
            if (!r.CodePageText(ch, p + ".char", cp)) return false;
            if (cp.size() != 1) return r.Fail(p + ".char", "must be one character");
            c.dialPlan.push_back({cp[0], int32_t(v)});
        }
    }
    c.tieTrunk.reset();
    if (auto it = j.find("tie_trunk"); it != j.end() && !it->is_null()) {
        const std::string p = path + ".tie_trunk";
        TieTrunk t;
        if (!r.Object(*it, p, {"location_code_length", "entry_size", "used"}) ||
            !r.Int(*it, "location_code_length", p, 0, kMaxLocationCodeLength, v, true))
            return false;
        t.locationCodeLength = int32_t(v);
        if (!r.Int(*it, "entry_size", p, 1, kMaxItgEntrySize, v)) return false;
        if (it->contains("entry_size")) t.entrySize = uint32_t(v);
        if (auto u = it->find("used"); u != it->end()) {
            if (!r.Array(*u, p + ".used")) return false;
            for (const Json& code : *u) {
                if (!code.is_string() || !IsLocationCode(code.get_ref<const std::string&>(), t.locationCodeLength))
                    return r.Fail(p + ".used", Dump(code) + " is not a location code of " +
                                                   std::to_string(t.locationCodeLength) + " digits");
                t.usedCodes.insert(code.get<std::string>());
            }
        }
        c.tieTrunk = std::move(t);
    }
    std::string error;
    if (!CheckSysConfig(c, error)) return r.Fail(path, error);
    return true;
}

// Whether the records and workgroups would take more than the limit with `more` bytes added;
// the message says so.
bool TooLarge(Reader& r, const std::string& path, const SiteState& s, std::size_t more, const StateLimits& limits) {
    const std::size_t held = s.Records().size() * s.system.recordLength + s.Workgroups().size() * kWorkgroupLength;
    if (held + more <= limits.maxSiteBytes) return false;
    r.Fail(path, "the records and workgroups would take more than " + std::to_string(limits.maxSiteBytes) +
                     " bytes in memory");
    return true;
}

bool ReadRecord(Reader& r, const Json& item, std::size_t k, SiteState& s, const StateLimits& limits) {
    const std::string path = Where("records", k, item);
    if (!item.is_object()) return r.Fail(path, "must be an object");
    if (TooLarge(r, path, s, s.system.recordLength, limits)) return false;
    Bytes bytes;
    std::string error;
    bool typeBuilt = false;  // the type name made the record (an ip type is stored as physical)
    if (auto raw = item.find("raw"); raw != item.end()) {
        bytes.assign(s.system.recordLength, 0);
        if (!DecodeRuns(*raw, bytes, error)) return r.Fail(path + ".raw", error);
    } else {
        // Without raw bytes the record is made as `zentsim add` makes it, then edited below.
        NewExtension e;
        if (!r.Number(item, path, e.number)) return false;
        uint8_t code = 0;
        if (auto t = item.find("type");
            t != item.end() && t->is_string() && ParseExtTypeName(t->get_ref<const std::string&>(), code)) {
            e.type = t->get<std::string>();
            typeBuilt = true;
        }
        if (!BuildExtRecord(e, s.system, bytes, error)) return r.Fail(path, error);
    }
    server::ExtRec rec(bytes.data(), bytes.size());
    const bool applied = typeBuilt ? ApplyExtFields(item, rec, {"raw", "type"}, error)
                                   : ApplyExtFields(item, rec, {"raw"}, error);
    if (!applied) return r.Fail(path, error);
    if (!IsValidNumber(rec.ExtensionNumber())) return r.Fail(path, "the record holds no valid extension number");
    if (!s.LoadRecord(std::move(bytes))) return r.Fail(path, "a record with this number is listed before");
    return true;
}

// A workgroup's number, and where it was read, for the check that its record exists.
struct NumberAt {
    std::string number;
    std::string path;
};

bool ReadWorkgroup(Reader& r, const Json& item, std::size_t k, SiteState& s, const StateLimits& limits,
                   std::vector<NumberAt>& pilots) {
    const std::string path = Where("workgroups", k, item);
    if (!item.is_object()) return r.Fail(path, "must be an object");
    if (TooLarge(r, path, s, kWorkgroupLength, limits)) return false;
    Bytes bytes(kWorkgroupLength, 0);
    std::string error;
    if (auto raw = item.find("raw"); raw != item.end()) {
        if (!DecodeRuns(*raw, bytes, error)) return r.Fail(path + ".raw", error);
    }
    server::WORKGRPREC rec(bytes.data(), bytes.size());
    if (!ApplyWorkgroupFields(item, rec, {"raw"}, error)) return r.Fail(path, error);
    rec.SetRecordSize(static_cast<uint16_t>(kWorkgroupLength));  // the list is cut by it
    std::string number(rec.GroupNumber());
    if (!IsValidNumber(number)) return r.Fail(path, "the workgroup holds no valid group number");
    if (!s.LoadWorkgroup(std::move(bytes))) return r.Fail(path, "a workgroup with this number is listed before");
    pilots.push_back({std::move(number), path});
    return true;
}

bool ReadExtData(Reader& r, const Json& e, std::size_t k, SiteState& s, std::vector<NumberAt>& owners) {
    const std::string path = Where("ext_data", k, e);
    int64_t v = 0;
    ExtData d;
    std::string number;
    if (!r.Object(e, path, {"number", "tag", "hex"}) || !r.Number(e, path, number) ||
        !r.Int(e, "tag", path, INT32_MIN, INT32_MAX, v) || !r.Block(e, path, d.bytes))
        return false;
    d.tag = e.contains("tag") ? int32_t(v) : 0;
    if (!s.extData.emplace(number, std::move(d)).second) return r.Fail(path, "listed twice");
    owners.push_back({std::move(number), path});
    return true;
}

bool ReadOnaData(Reader& r, const Json& e, std::size_t k, SiteState& s, std::vector<NumberAt>& owners) {
    const std::string path = Where("ona_data", k, e);
    Bytes b;
    std::string number;
    if (!r.Object(e, path, {"number", "hex"}) || !r.Number(e, path, number) || !r.Block(e, path, b)) return false;
    if (!s.onaData.emplace(number, std::move(b)).second) return r.Fail(path, "listed twice");
    owners.push_back({std::move(number), path});
    return true;
}

bool ReadItem(Reader& r, const Json& e, std::size_t k, SiteState& s) {
    const std::string path = "items[" + std::to_string(k) + "]";
    int64_t v = 0, w = 0;
    Bytes b;
    if (!r.Object(e, path, {"kind", "id", "hex"}) || !r.Int(e, "kind", path, INT32_MIN, INT32_MAX, v, true) ||
        !r.Int(e, "id", path, INT32_MIN, INT32_MAX, w, true) || !r.Block(e, path, b))
        return false;
    if (!s.items.emplace(std::pair{int32_t(v), int32_t(w)}, std::move(b)).second) return r.Fail(path, "listed twice");
    return true;
}

bool ReadMailbox(Reader& r, const Json& j, MailboxState& m) {
    const std::string path = "mailbox";
    if (!r.Object(j, path, {"open", "share", "path", "account", "allowed_accounts"}) || !r.Bool(j, "open", path, m.open) ||
        !r.Text(j, "share", path, m.share) || !r.Text(j, "path", path, m.path) || !r.Text(j, "account", path, m.account))
        return false;
    if (auto it = j.find("allowed_accounts"); it != j.end()) {
        if (!r.Array(*it, path + ".allowed_accounts")) return false;
        for (const Json& a : *it) {
            if (!a.is_string()) return r.Fail(path + ".allowed_accounts", "must list texts");
            m.allowedAccounts.push_back(a.get<std::string>());
        }
    }
    return true;
}

bool ReadFaults(Reader& r, const Json& j, Faults& f, std::size_t recordLength) {
    const std::string path = "faults";
    if (!r.Object(j, path, {"methods", "record_definition_fills_capacity", "extension_list_extra_bytes",
                            "workgroup_list_extra_bytes", "workgroup_record_length", "interfaces", "mailbox_share_answer",
                            "delay_ms", "itg_table_bytes", "add_reply_blank"}))
        return false;
    if (auto it = j.find("methods"); it != j.end()) {
        if (!it->is_object()) return r.Fail(path + ".methods", "must be an object keyed by method name");
        for (auto m = it->begin(); m != it->end(); ++m) {
            const std::string p = path + ".methods." + m.key();
            if (!IsNamedMethod(m.key())) return r.Fail(p, "not a named method of the server interfaces");
            MethodFault mf;
            int64_t after = 0;
            if (!r.Object(m.value(), p, {"result", "after", "applied"})) return false;
            if (!m.value().contains("result")) return r.Fail(p, "\"result\" is missing");
            if (!r.Hr(m.value()["result"], p + ".result", mf.result) ||
                !r.Int(m.value(), "after", p, 0, UINT32_MAX, after))
                return false;
            mf.after = uint32_t(after);
            if (!r.Bool(m.value(), "applied", p, mf.applied)) return false;
            f.methods[m.key()] = mf;
        }
    }
    int64_t v = 0;
    if (!r.Bool(j, "record_definition_fills_capacity", path, f.recordDefinitionFillsCapacity)) return false;
    if (!r.Bool(j, "add_reply_blank", path, f.addReplyBlank)) return false;
    if (!r.Int(j, "extension_list_extra_bytes", path, 0, int64_t(recordLength) - 1, v)) return false;
    f.extensionListExtraBytes = j.contains("extension_list_extra_bytes") ? uint32_t(v) : 0;
    if (!r.Int(j, "workgroup_list_extra_bytes", path, 0, kWorkgroupLength - 1, v)) return false;
    f.workgroupListExtraBytes = j.contains("workgroup_list_extra_bytes") ? uint32_t(v) : 0;
    if (!r.Int(j, "workgroup_record_length", path, 0, kWorkgroupLength, v)) return false;
    f.workgroupRecordLength = j.contains("workgroup_record_length") ? uint32_t(v) : 0;
    if (f.workgroupRecordLength != 0 && f.workgroupRecordLength < 34)
        return r.Fail(path + ".workgroup_record_length", "must be 0, or 34 to 4300");
    if (!r.Int(j, "delay_ms", path, 0, kMaxDelayMs, v)) return false;
    f.delayMs = j.contains("delay_ms") ? uint32_t(v) : 0;
    if (auto it = j.find("interfaces"); it != j.end()) {
        if (!it->is_object()) return r.Fail(path + ".interfaces", "must be an object keyed by interface name");
        for (auto m = it->begin(); m != it->end(); ++m) {
            const std::string p = path + ".interfaces." + m.key();
            InterfaceAnswer a;
            if (!InterfaceIid(m.key())) return r.Fail(p, "not one of the server interfaces");
            if (!m.value().is_string() || !ParseInterfaceAnswer(m.value().get_ref<const std::string&>(), a))
                return r.Fail(p, "must be \"absent\", \"empty\" or \"present\"");
            if (a != InterfaceAnswer::Present) f.interfaces[m.key()] = a;
        }
    }
    if (auto it = j.find("mailbox_share_answer"); it != j.end() && !it->is_null()) {
        com::HRESULT hr;
        if (!r.Hr(*it, path + ".mailbox_share_answer", hr)) return false;
        f.mailboxShareAnswer = hr;
    }
    if (auto it = j.find("itg_table_bytes"); it != j.end() && !it->is_null()) {
        if (!r.Int(j, "itg_table_bytes", path, 0, kMaxItgTableBytes, v)) return false;
        f.itgTableBytes = uint32_t(v);
    }
    return true;
}

// The root's members other than the lists, and the lists' elements one at a time as they are
// read. A record needs the system configuration (its length), so the elements that come before
// it in the text wait; a state file written by zentsim names the system first.
class StateLoader {
public:
    StateLoader(Reader& r, SiteState& s, const StateLimits& limits) : m_r(r), m_s(s), m_limits(limits) {}

    static const std::vector<std::string>& Lists() {
        static const std::vector<std::string> lists = {"records", "workgroups", "ext_data", "ona_data", "items"};
        return lists;
    }

    bool OnItem(const Json& root, const std::string& list, std::size_t k, Json& item) {
        if (!m_headerRead) {
            if (!root.contains("format") || !root.contains("format_version") || !root.contains("name") ||
                !root.contains("system")) {
                m_waiting.push_back({list, k, std::move(item)});
                return true;
            }
            if (!ReadHeader(root)) return false;
        }
        return Read(list, k, item);
    }

    bool Finish(const Json& root) {
        if (!m_r.Object(root, "state", {"format", "format_version", "name", "system", "mailbox", "faults", "ext_data",
                                         "ona_data", "items", "workgroups", "records"}))
            return false;
        if (!m_headerRead && !ReadHeader(root)) return false;
        for (Waiting& w : m_waiting)
            if (!Read(w.list, w.k, w.item)) return false;
        for (const std::string& list : Lists())
            if (auto it = root.find(list); it != root.end() && !m_r.Array(*it, list)) return false;
        // Only now are all records known.
        for (const NumberAt& w : m_pilots) {
            const Stored* pilot = m_s.FindRecord(w.number);
            if (!pilot || server::ConstExtRec(pilot->bytes.data(), pilot->bytes.size()).ExtensionType() !=
                              server::exttype::kWorkgroup)
                return m_r.Fail(w.path, "there is no record of type group with this number");
        }
        for (const NumberAt& d : m_dataOwners)
            if (!m_s.FindRecord(d.number)) return m_r.Fail(d.path, "there is no record with this number");
        if (auto it = root.find("mailbox"); it != root.end() && !ReadMailbox(m_r, *it, m_s.mailbox)) return false;
        if (auto it = root.find("faults"); it != root.end() && !ReadFaults(m_r, *it, m_s.faults, m_s.system.recordLength))
            return false;
        return true;
    }

private:
    struct Waiting {
        std::string list;
        std::size_t k;
        Json item;
    };

    bool ReadHeader(const Json& root) {
        m_headerRead = true;
        if (!root.is_object()) return m_r.Fail("state", "must be an object");
        auto format = root.find("format");
        if (format == root.end() || *format != kStateFormat)
            return m_r.Fail("format", "is not \"" + std::string(kStateFormat) + "\" (not a zentsim state file)");
        int64_t version = 0;
        if (!m_r.Int(root, "format_version", "state", 1, kStateFormatVersion, version, true)) return false;
        std::string name;
        if (!m_r.Text(root, "name", "state", name, true)) return false;
        if (name.empty()) return m_r.Fail("name", "must not be empty");
        if (!m_r.CodePageText(name, "name", m_s.name)) return false;
        auto system = root.find("system");
        if (system == root.end()) return m_r.Fail("state", "\"system\" is missing");
        return ReadSystem(m_r, *system, m_s.system);
    }

    bool Read(const std::string& list, std::size_t k, const Json& item) {
        if (list == "records") return ReadRecord(m_r, item, k, m_s, m_limits);
        if (list == "workgroups") return ReadWorkgroup(m_r, item, k, m_s, m_limits, m_pilots);
        if (list == "ext_data") return ReadExtData(m_r, item, k, m_s, m_dataOwners);
        if (list == "ona_data") return ReadOnaData(m_r, item, k, m_s, m_dataOwners);
        return ReadItem(m_r, item, k, m_s);
    }

    Reader& m_r;
    SiteState& m_s;
    const StateLimits& m_limits;
    bool m_headerRead = false;
    std::vector<Waiting> m_waiting;
    std::vector<NumberAt> m_pilots;
    std::vector<NumberAt> m_dataOwners;
};

const std::string& RecordFragment(const Stored& s) {
    if (s.fragment.empty()) {
        Json j = DecodeExtFields(server::ConstExtRec(s.bytes.data(), s.bytes.size()));
        j["raw"] = EncodeRuns(s.bytes);
        s.fragment = Dump(j);
    }
    return s.fragment;
}

const std::string& WorkgroupFragment(const Stored& s) {
    if (s.fragment.empty()) {
        Json j = DecodeWorkgroupFields(server::ConstWORKGRPREC(s.bytes.data(), s.bytes.size()));
        j["raw"] = EncodeRuns(s.bytes);
        s.fragment = Dump(j);
    }
    return s.fragment;
}

void AppendList(std::string& out, const char* key, const SiteState::Map& map,
                const std::string& (*fragment)(const Stored&)) {
    out += ",\n\"";
    out += key;
    out += "\": [";
    bool first = true;
    for (const auto& [number, stored] : map) {
        out += first ? "\n" : ",\n";
        out += fragment(stored);
        first = false;
    }
    out += first ? "]" : "\n]";
}

}  // namespace

Json SystemToJson(const SysConfig& c) {
    Json j = Json::object();
    char version[8];
    std::snprintf(version, sizeof version, "0x%04X", c.version);
    j["version"] = version;
    j["admin_password_hash"] = platform::CodePageToUtf8(c.adminHash);
    j["ext_number_length"] = c.extNumberLength;
    j["record_length"] = c.recordLength;
    Json plan = Json::array();
    for (const DialPlanEntry& e : c.dialPlan)
        plan.push_back(Json{{"char", platform::CodePageToUtf8(std::string(1, e.character))}, {"class", e.digitClass}});
    j["dial_plan"] = std::move(plan);
    if (c.tieTrunk) {
        Json used = Json::array();
        for (const std::string& code : c.tieTrunk->usedCodes) used.push_back(code);
        j["tie_trunk"] = Json{{"location_code_length", c.tieTrunk->locationCodeLength},
                              {"entry_size", c.tieTrunk->entrySize},
                              {"used", std::move(used)}};
    } else {
        j["tie_trunk"] = nullptr;
    }
    return j;
}

Json MailboxToJson(const MailboxState& m) {
    return Json{{"open", m.open}, {"share", m.share}, {"path", m.path}, {"account", m.account},
                {"allowed_accounts", m.allowedAccounts}};
}

Json FaultsToJson(const Faults& f) {
    Json methods = Json::object();
    for (const auto& [name, mf] : f.methods) {
        methods[name] = Json{{"result", FormatHResult(mf.result)}, {"after", mf.after}};
        if (mf.applied) methods[name]["applied"] = true;
    }
    Json interfaces = Json::object();
    for (const auto& [name, a] : f.interfaces) interfaces[name] = InterfaceAnswerName(a);
    Json j = Json::object();
    j["methods"] = std::move(methods);
    j["record_definition_fills_capacity"] = f.recordDefinitionFillsCapacity;
    j["extension_list_extra_bytes"] = f.extensionListExtraBytes;
    j["workgroup_list_extra_bytes"] = f.workgroupListExtraBytes;
    j["workgroup_record_length"] = f.workgroupRecordLength;
    j["interfaces"] = std::move(interfaces);
    j["mailbox_share_answer"] = f.mailboxShareAnswer ? Json(FormatHResult(*f.mailboxShareAnswer)) : Json(nullptr);
    j["delay_ms"] = f.delayMs;
    j["itg_table_bytes"] = f.itgTableBytes ? Json(*f.itgTableBytes) : Json(nullptr);
    j["add_reply_blank"] = f.addReplyBlank;
    return j;
}

bool ParseState(std::string_view text, SiteState& state, std::string& error, const StateLimits& limits) {
    state = SiteState{};
    if (text.size() > kMaxStateText) {
        error = "state: larger than " + std::to_string(kMaxStateText >> 20) + " MiB";
        return false;
    }
    try {
        Reader reader(error);
        StateLoader loader(reader, state, limits);
        Json root;
        auto onItem = [&](const std::string& list, std::size_t k, Json& item) { return loader.OnItem(root, list, k, item); };
        return ParseJsonStreaming(text, StateLoader::Lists(), kLimits, onItem, root, error) && loader.Finish(root);
    } catch (const std::exception& e) {
        error = std::string("state: ") + e.what();
    }
    return false;
}

std::string SerializeState(const SiteState& s) {
    std::string out = "{\n\"format\": " + Dump(std::string(kStateFormat)) +
                      ",\n\"format_version\": " + std::to_string(kStateFormatVersion) +
                      ",\n\"name\": " + Dump(platform::CodePageToUtf8(s.name)) +
                      ",\n\"system\": " + Dump(SystemToJson(s.system)) +
                      ",\n\"mailbox\": " + Dump(MailboxToJson(s.mailbox)) +
                      ",\n\"faults\": " + Dump(FaultsToJson(s.faults));
    Json ext = Json::array(), ona = Json::array(), items = Json::array();
    for (const auto& [number, d] : s.extData)
        ext.push_back(Json{{"number", platform::CodePageToUtf8(number)}, {"tag", d.tag}, {"hex", HexEncode(d.bytes)}});
    for (const auto& [number, b] : s.onaData)
        ona.push_back(Json{{"number", platform::CodePageToUtf8(number)}, {"hex", HexEncode(b)}});
    for (const auto& [key, b] : s.items)
        items.push_back(Json{{"kind", key.first}, {"id", key.second}, {"hex", HexEncode(b)}});
    out += ",\n\"ext_data\": " + Dump(ext) + ",\n\"ona_data\": " + Dump(ona) + ",\n\"items\": " + Dump(items);
    AppendList(out, "workgroups", s.Workgroups(), &WorkgroupFragment);
    AppendList(out, "records", s.Records(), &RecordFragment);
    out += "\n}\n";
    return out;
}

}  // namespace sim
