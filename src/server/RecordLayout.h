// Byte layouts of the telephony server's records and request blocks. The layout is the wire
// format: records travel as opaque byte arrays, integers little-endian, text single-byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace server {

// A fixed-width text field: `width` bytes, terminated inside the field, so it holds at most
// width - 1 characters.
struct TextField {
    std::size_t offset;
    std::size_t width;
    constexpr std::size_t end() const { return offset + width; }
};

// Extension type codes. kIp is never stored by the server; it is derived from the flag words.
namespace exttype {
inline constexpr std::uint8_t kPhysical = 0;
inline constexpr std::uint8_t kVirtual = 1;
inline constexpr std::uint8_t kWorkgroup = 2;
inline constexpr std::uint8_t kWireless = 3;
inline constexpr std::uint8_t kIp = 4;
inline constexpr std::uint8_t kApplication = 5;
}  // namespace exttype

// ExtRec: one extension, workgroup pilot or other endpoint. Servers report their own length;
// kDefinedSize is only this program's idea of it.
namespace extrec {
inline constexpr std::size_t kDefinedSize = 2400;

inline constexpr std::size_t kRecordVersion = 0;  // u16
inline constexpr std::size_t kRecordSize = 2;     // u16
inline constexpr TextField kExtensionNumber{16, 17};
inline constexpr TextField kExtPassword{33, 13};
inline constexpr TextField kExtName{46, 33};
inline constexpr TextField kExtFirstName{79, 33};
inline constexpr TextField kNumberCopy{112, 65};  // unnamed: a copy of the number on creation
inline constexpr TextField kEMailName{177, 33};
inline constexpr std::size_t kExtFeatureFlagBank = 408;  // u32
inline constexpr std::size_t kHomeWord412 = 412;         // u32, unnamed, taken from the home record
inline constexpr std::size_t kExtStatusFlagBank = 420;   // u32
inline constexpr std::size_t kCreationMarks = 428;       // u8 x4, unnamed: 0, FF, FF, FF on creation
inline constexpr std::size_t kConfiguredLineType = 432;  // u8
inline constexpr std::size_t kExtensionType = 433;       // u8
inline constexpr std::size_t kNotCopyMark = 434;         // u8, unnamed: 1 = never a forwarding copy
inline constexpr std::size_t kByte435 = 435;             // u8, unnamed: 4 on creation
inline constexpr std::size_t kWord440 = 440;             // u32, unnamed: 3 on creation
inline constexpr std::size_t kWord468 = 468;             // u32, unnamed: 3 on creation
inline constexpr std::size_t kForwardTarget = 552;       // u32
inline constexpr TextField kFwdDialString{556, 21};
inline constexpr std::size_t kFwdDialClearMark = 577;    // u8, 0xFF when the dial string is cleared
inline constexpr std::size_t kOutCallWindowBegin = 1187; // u16
inline constexpr std::size_t kOutCallWindowEnd = 1189;   // u16
inline constexpr TextField kFwdEmailAddr{1211, 65};
inline constexpr std::size_t kFwdMailOptions = 1276;     // u8
inline constexpr std::size_t kLogonIP = 1412;            // u32
inline constexpr std::size_t kInterCallDelay = 1441;     // u8
inline constexpr std::size_t kExtDescription = 1442;     // char, length is the server's

inline constexpr std::uint8_t kLineTypeCreated = 0x43;  // 'C'

inline constexpr std::uint32_t kForwardToDialString = 7;
inline constexpr std::uint32_t kForwardStopped = 10;

// ExtFeatureFlagBank bits.
inline constexpr std::uint32_t kFeatureHomeBit = 0x1;
inline constexpr std::uint32_t kFeatureGroup = 0x2;
inline constexpr std::uint32_t kFeatureForward = 0x4;
inline constexpr std::uint32_t kFeatureFwd10000 = 0x10000;
inline constexpr std::uint32_t kFeatureFwd40000 = 0x40000;
inline constexpr std::uint32_t kFeatureIpEndpoint = 0x400000;
inline constexpr std::uint32_t kFeatureFwd20000000 = 0x20000000;
inline constexpr std::uint32_t kFeatureCreated = 0x608;
inline constexpr std::uint32_t kForwardingCopyMask = 0x20050004;

// ExtStatusFlagBank bits.
inline constexpr std::uint32_t kStatusGroupMember = 0x2;
inline constexpr std::uint32_t kStatusForwards = 0x80;
inline constexpr std::uint32_t kStatusIpEndpoint = 0x200;
inline constexpr std::uint32_t kStatusMatchBit = 0x200000;
}  // namespace extrec

// WORKGRPREC: one workgroup.
namespace workgrp {
inline constexpr std::size_t kDefinedSize = 4300;

inline constexpr std::size_t kRecordSize = 2;  // u16; the list is cut with the first record's
inline constexpr TextField kGroupNumber{16, 17};
inline constexpr std::size_t kMembers = 1607;
inline constexpr std::size_t kMemberWidth = 17;
inline constexpr std::size_t kMaxMembers = 128;
inline constexpr TextField Member(std::size_t i) { return {kMembers + i * kMemberWidth, kMemberWidth}; }
}  // namespace workgrp

// SysConfigTable: read once per connection into a zero-filled buffer of kSize bytes.
namespace syscfg {
inline constexpr std::size_t kSize = 4096;

inline constexpr std::size_t kServerVersion = 0;  // u16, hex digits major, minor, 0
inline constexpr TextField kAdminPassword{33, 13};
inline constexpr std::size_t kExtNumberLength = 72;  // i32
inline constexpr std::size_t kDialPlan = 1580;
inline constexpr std::size_t kDialPlanEntries = 16;
inline constexpr std::size_t kDialPlanEntrySize = 8;
inline constexpr std::size_t kDialChar = 0;   // within an entry: signed char
inline constexpr std::size_t kDialClass = 4;  // within an entry: i32

// Digit classes the program acts on.
inline constexpr std::int32_t kClassExtension = 0;
inline constexpr std::int32_t kClassDirect1 = 1;
inline constexpr std::int32_t kClassTieTrunk = 5;
inline constexpr std::int32_t kClassDirect6 = 6;
}  // namespace syscfg

// ExtSummary: this program's 260-byte condensed view of one extension.
namespace summary {
inline constexpr std::size_t kSize = 260;

inline constexpr std::size_t kExtensionType = 0;  // u8
inline constexpr std::size_t kSyncStatus = 1;     // u8
inline constexpr std::size_t kExtCount = 4;       // i32
inline constexpr std::size_t kGroupCount = 8;     // i32
inline constexpr TextField kExtensionNumber{12, 17};
inline constexpr TextField kExtFirstName{29, 33};
inline constexpr TextField kExtName{62, 33};
inline constexpr TextField kEMailName{95, 33};
inline constexpr TextField kExtPassword{128, 13};
inline constexpr TextField kHomeServer{141, 33};
inline constexpr TextField kFwdEmailAddr{174, 65};
inline constexpr TextField kFwdDialString{239, 21};
}  // namespace summary

// Request blocks of the change operations.
namespace request {
// Replace request: new record (L bytes), current record (L bytes), i32 1.
inline constexpr std::size_t ReplaceSize(std::size_t recordLength) { return 2 * recordLength + 4; }
inline constexpr std::int32_t kReplaceTrailer = 1;

// Workgroup creation buffer: in, the group number at 0; out, the new WORKGRPREC at 20.
inline constexpr std::size_t kWorkgroupCreateSize = 4328;
inline constexpr TextField kWorkgroupCreateNumber{0, 17};
inline constexpr std::size_t kWorkgroupCreateRecord = 20;

// Membership request.
inline constexpr std::size_t kMembershipSize = 48;
inline constexpr TextField kMembershipExtension{0, 17};
inline constexpr TextField kMembershipGroup{17, 17};
inline constexpr std::size_t kMembershipOperation = 36;  // i32
inline constexpr std::size_t kMembershipZero = 40;       // i32, always 0
inline constexpr std::int32_t kMembershipRemove = 0;
inline constexpr std::int32_t kMembershipAdd = 1;
inline constexpr std::int32_t kMembershipClose = 2;

// Workgroup key for deletion: the group number as char[17].
inline constexpr std::size_t kWorkgroupKeySize = 17;
}  // namespace request

}  // namespace server
