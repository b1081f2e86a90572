// Random bytes as a received extension list and workgroup list. Input: u16 record length L,
// u16 length of the extension part, the extension part, then the workgroup part. Each part is
// copied into a heap block of exactly its size so that any read past it is caught.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "server/ExtSummary.h"
#include "server/RecordList.h"
#include "server/ServProv.h"
#include "server/SysConfigTable.h"

using namespace server;

// Everything read ends up here, so nothing is optimised away.
std::size_t g_sink;

namespace {

std::unique_ptr<std::uint8_t[]> Exact(const std::uint8_t* p, std::size_t n) {
    auto b = std::make_unique<std::uint8_t[]>(n ? n : 1);
    if (n) std::memcpy(b.get(), p, n);
    return b;
}

void Walk(ExtList list) {
    for (ExtRec r : list) {
        const ExtSummary s = BuildExtSummary(r, "Site");
        g_sink += s.ExtensionType + r.RecordVersion() + r.RecordSize() + r.ForwardTarget() +
                  r.FwdMailOptions() + r.ConfiguredLineType() + r.U8(extrec::kNotCopyMark) +
                  r.U32(extrec::kHomeWord412) + r.U16(extrec::kOutCallWindowEnd);
        // Rewrite it as a forwarding copy would be written, from its own summary.
        r.SetFwdDialString(s.FwdDialString, 19);
        r.SetFwdEmailAddr(s.FwdEmailAddr);
        r.SetExtPassword(s.ExtPassword);
        r.SetBits(extrec::kExtFeatureFlagBank, extrec::kForwardingCopyMask, true);
        r.SetForwardTarget(extrec::kForwardToDialString);
        r.Fill(extrec::kCreationMarks + 1, 3, 0xFF);
    }
}

void WalkGroups(ConstWorkgroupList list) {
    for (ConstWORKGRPREC g : list) {
        const std::size_t n = g.MemberCount();
        g_sink += g.GroupNumber().size() + n;
        for (std::size_t i = 0; i <= n + 1; ++i) g_sink += g.Member(i).size();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::size_t L = data[0] | (data[1] << 8);
    std::size_t extBytes = data[2] | (data[3] << 8);
    data += 4;
    size -= 4;
    if (extBytes > size) extBytes = size;

    auto ext = Exact(data, extBytes);
    auto groups = Exact(data + extBytes, size - extBytes);

    // The extension part doubles as a system configuration table of whatever length it has.
    const ConstSysConfigTable cfg(ext.get(), extBytes);
    g_sink += cfg.ServerVersion() + static_cast<std::size_t>(cfg.ExtNumberLength());
    for (char c : {'0', '5', '9', '\0', '\xFF'}) g_sink += static_cast<std::size_t>(cfg.DigitClass(c));
    char admin[14] = {};
    const std::string_view stored = cfg.AdminPassword();
    if (!stored.empty()) std::memcpy(admin, stored.data(), stored.size());
    g_sink += static_cast<std::size_t>(CZentServ::PasswordCompare(admin, "admin"));

    if (auto list = CutExtList(ext.get(), extBytes, L)) Walk(*list);
    const std::uint8_t* cg = groups.get();
    if (auto list = CutWorkgroupList(cg, size - extBytes)) WalkGroups(*list);
    return 0;
}
