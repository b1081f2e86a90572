#include "server/ExtSummary.h"

#include "server/RecordView.h"

namespace server {

std::uint8_t SummaryType(ConstExtRec rec) {
    if ((rec.ExtFeatureFlagBank() & extrec::kFeatureIpEndpoint) &&
        (rec.ExtStatusFlagBank() & extrec::kStatusIpEndpoint) && rec.LogonIP() != 0)
        return exttype::kIp;
    return rec.ExtensionType();
}

ExtSummary BuildExtSummary(ConstExtRec rec, std::string_view siteName) {
    ExtSummary s{};
    s.ExtensionType = SummaryType(rec);
    StoreFieldText(s.ExtensionNumber, rec.ExtensionNumber());
    StoreFieldText(s.ExtFirstName, rec.ExtFirstName());
    StoreFieldText(s.ExtName, rec.ExtName());
    StoreFieldText(s.EMailName, rec.EMailName());
    StoreFieldText(s.ExtPassword, rec.ExtPassword());
    StoreFieldText(s.HomeServer, siteName);
    StoreFieldText(s.FwdEmailAddr, rec.FwdEmailAddr());
    StoreFieldText(s.FwdDialString, rec.FwdDialString());
    return s;
}

}  // namespace server
