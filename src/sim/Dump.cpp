#include "sim/Dump.h"

#include "platform/CodePage.h"
#include "server/ExtSummary.h"
#include "sim/HexBytes.h"
#include "sim/RecordFields.h"
#include "sim/StateCodec.h"

namespace sim {

nlohmann::ordered_json DumpState(const SiteState& s) {
    Json out = Json::object();
    out["name"] = platform::CodePageToUtf8(s.name);
    out["system"] = SystemToJson(s.system);
    Json records = Json::array();
    for (const auto& [number, stored] : s.Records()) {
        server::ConstExtRec rec(stored.bytes.data(), stored.bytes.size());
        Json r = DecodeExtFields(rec);
        const uint8_t shown = server::SummaryType(rec);
        r["shown_type"] = ExtTypeName(shown) ? Json(ExtTypeName(shown)) : Json(shown);
        r["raw_digest"] = Digest(stored.bytes);
        records.push_back(std::move(r));
    }
    Json workgroups = Json::array();
    for (const auto& [number, stored] : s.Workgroups()) {
        Json w = DecodeWorkgroupFields(server::ConstWORKGRPREC(stored.bytes.data(), stored.bytes.size()));
        w["raw_digest"] = Digest(stored.bytes);
        workgroups.push_back(std::move(w));
    }
    Json ext = Json::array(), ona = Json::array(), items = Json::array();
    for (const auto& [number, d] : s.extData)
        ext.push_back(Json{{"number", platform::CodePageToUtf8(number)}, {"tag", d.tag}, {"size", d.bytes.size()},
                           {"digest", Digest(d.bytes)}});
    for (const auto& [number, b] : s.onaData)
        ona.push_back(Json{{"number", platform::CodePageToUtf8(number)}, {"size", b.size()}, {"digest", Digest(b)}});
    for (const auto& [key, b] : s.items)
        items.push_back(Json{{"kind", key.first}, {"id", key.second}, {"size", b.size()}, {"digest", Digest(b)}});
    out["records"] = std::move(records);
    out["workgroups"] = std::move(workgroups);
    out["data_blocks"] = Json{{"ext_data", std::move(ext)}, {"ona_data", std::move(ona)}, {"items", std::move(items)}};
    out["mailbox"] = MailboxToJson(s.mailbox);
    out["faults"] = FaultsToJson(s.faults);
    return out;
}

}  // namespace sim
