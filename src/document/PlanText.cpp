#include "document/PlanText.h"

#include <cstdio>

#include "document/RowText.h"
#include "server/ExtRec.h"

using server::ConstExtRec;

namespace {

std::string Hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", v);
    return text;
}

std::string Shown(std::string_view text) { return text.empty() ? "(empty)" : std::string(text); }

// The named fields a rewrite changes, "Field old -> new" each, and how many other bytes differ.
std::string Changes(ConstExtRec before, ConstExtRec after) {
    std::string out;
    auto note = [&](const char* field, const std::string& a, const std::string& b) {
        if (a == b) return;
        out += out.empty() ? ": " : "; ";
        out += std::string(field) + " " + a + " -> " + b;
    };
    note("type", DetailedTypeWord(before.ExtensionType()), DetailedTypeWord(after.ExtensionType()));
    note("first name", Shown(before.ExtFirstName()), Shown(after.ExtFirstName()));
    note("last name", Shown(before.ExtName()), Shown(after.ExtName()));
    note("e-mail name", Shown(before.EMailName()), Shown(after.EMailName()));
    note("password hash", Shown(before.ExtPassword()), Shown(after.ExtPassword()));
    note("features", Hex(before.ExtFeatureFlagBank()), Hex(after.ExtFeatureFlagBank()));
    note("status", Hex(before.ExtStatusFlagBank()), Hex(after.ExtStatusFlagBank()));
    note("forward target", std::to_string(before.ForwardTarget()), std::to_string(after.ForwardTarget()));
    note("dial string", Shown(before.FwdDialString()), Shown(after.FwdDialString()));
    note("mail forward", Shown(before.FwdEmailAddr()), Shown(after.FwdEmailAddr()));
    note("mail options", std::to_string(before.FwdMailOptions()), std::to_string(after.FwdMailOptions()));
    // Bytes outside the fields above (the cleared dial string's mark, for one).
    auto named = [](size_t i) {
        using namespace server::extrec;
        for (server::TextField f : {kExtFirstName, kExtName, kEMailName, kExtPassword, kFwdDialString, kFwdEmailAddr})
            if (i >= f.offset && i < f.end()) return true;
        return (i >= kExtFeatureFlagBank && i < kExtFeatureFlagBank + 4) ||
               (i >= kExtStatusFlagBank && i < kExtStatusFlagBank + 4) ||
               (i >= kForwardTarget && i < kForwardTarget + 4) || i == kExtensionType || i == kFwdMailOptions;
    };
    size_t others = 0;
    for (size_t i = 0; i < before.size() && i < after.size(); ++i)
        if (before.data()[i] != after.data()[i] && !named(i)) ++others;
    if (others) out += (out.empty() ? ": " : "; ") + std::to_string(others) + " other byte(s)";
    return out.empty() ? ": no change" : out;
}

}  // namespace

std::string DescribePlannedCall(const server::PlannedCall& call) {
    const std::vector<uint8_t>& d = call.data;
    const std::string& n = call.number;
    if (call.method == "AddExtension") {
        const ConstExtRec r(d.data(), d.size());
        std::string text = std::string("add ") +
                           (r.ExtensionType() == server::exttype::kWorkgroup ? "group pilot " : "virtual extension ") + n;
        std::string names = std::string(r.ExtFirstName());
        if (!r.ExtName().empty()) names += (names.empty() ? "" : " ") + std::string(r.ExtName());
        if (!names.empty()) text += " (" + names + ")";
        return text + ": dial " + Shown(r.FwdDialString()) + ", mail " + Shown(r.FwdEmailAddr());
    }
    if (call.method == "AddWorkgroup") return "add the workgroup of group " + n;
    if (call.method == "ResetExtension") return "reset extension " + n;
    if (call.method == "ReplaceExtension") {
        const size_t L = d.size() >= 4 ? (d.size() - 4) / 2 : 0;
        return "rewrite extension " + n + Changes(ConstExtRec(d.data() + L, L), ConstExtRec(d.data(), L));
    }
    if (call.method == "DeleteWorkgroup") return "delete the workgroup of group " + n;
    if (call.method == "DeleteExtension") {
        const ConstExtRec r(d.data(), d.size());
        return "delete " + DetailedTypeWord(r.ExtensionType()) + " record " + n;
    }
    if (call.method == "ChangeMembership") {
        const ConstExtRec b(d.data(), d.size());
        const std::string group(b.Text(server::request::kMembershipGroup));
        const std::string ext(b.Text(server::request::kMembershipExtension));
        switch (b.I32(server::request::kMembershipOperation)) {
        case server::request::kMembershipRemove: return "take " + ext + " out of group " + group;
        case server::request::kMembershipAdd: return "put " + ext + " into group " + group;
        default: return "close the membership change of group " + group;
        }
    }
    if (call.method == "Relocate")
        return "make " + n + " this site's own extension and relocate it from " + call.source +
               (call.withMailbox ? " with its mailbox" : " without its mailbox");
    return call.method + " " + n;
}
