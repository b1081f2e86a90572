// ExtSummary: the program's 260-byte condensed view of one extension, built by a connection from
// each ExtRec and kept by the document's merged list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "server/ExtRec.h"
#include "server/RecordLayout.h"

namespace server {

struct ExtSummary {
    std::uint8_t ExtensionType;  // type code, with kIp derived
    std::uint8_t SyncStatus;     // merged list: 1 Synchronized, 0 not
    std::uint8_t Reserved[2];
    std::int32_t ExtCount;       // merged list
    std::int32_t GroupCount;     // merged list
    char ExtensionNumber[17];
    char ExtFirstName[33];
    char ExtName[33];  // last name
    char EMailName[33];
    char ExtPassword[13];
    char HomeServer[33];
    char FwdEmailAddr[65];
    char FwdDialString[21];
};

static_assert(sizeof(ExtSummary) == summary::kSize);
static_assert(std::is_trivially_copyable_v<ExtSummary> && std::is_standard_layout_v<ExtSummary>);
static_assert(offsetof(ExtSummary, ExtensionType) == summary::kExtensionType);
static_assert(offsetof(ExtSummary, SyncStatus) == summary::kSyncStatus);
static_assert(offsetof(ExtSummary, ExtCount) == summary::kExtCount);
static_assert(offsetof(ExtSummary, GroupCount) == summary::kGroupCount);
static_assert(offsetof(ExtSummary, ExtensionNumber) == summary::kExtensionNumber.offset);
static_assert(offsetof(ExtSummary, ExtFirstName) == summary::kExtFirstName.offset);
static_assert(offsetof(ExtSummary, ExtName) == summary::kExtName.offset);
static_assert(offsetof(ExtSummary, EMailName) == summary::kEMailName.offset);
static_assert(offsetof(ExtSummary, ExtPassword) == summary::kExtPassword.offset);
static_assert(offsetof(ExtSummary, HomeServer) == summary::kHomeServer.offset);
static_assert(offsetof(ExtSummary, FwdEmailAddr) == summary::kFwdEmailAddr.offset);
static_assert(offsetof(ExtSummary, FwdDialString) == summary::kFwdDialString.offset);
static_assert(sizeof(ExtSummary::FwdDialString) == summary::kFwdDialString.width &&
              summary::kFwdDialString.end() == summary::kSize);

// The type code a summary shows: the stored ExtensionType, except that a logged-on IP endpoint
// (feature 0x400000, status 0x200 and a LogonIP) is an IP extension.
std::uint8_t SummaryType(ConstExtRec rec);

// All bytes zero except the type, the copied texts and siteName as the home server.
ExtSummary BuildExtSummary(ConstExtRec rec, std::string_view siteName);

}  // namespace server
