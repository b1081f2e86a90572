// ExtRec: view of one extension record of the length the server reported. Only the named fields
// have accessors; every other byte is left as the server sent it.
#pragma once

#include "server/RecordView.h"

namespace server {

template <class B>
class BasicExtRec : public BasicRecordView<B> {
    using Base = BasicRecordView<B>;

public:
    using Base::Base;
    template <class O>
        requires(std::is_const_v<B> && std::is_same_v<O, std::uint8_t>)
    constexpr BasicExtRec(const BasicExtRec<O>& o) : Base(o.data(), o.size()) {}

    std::uint16_t RecordVersion() const { return this->U16(extrec::kRecordVersion); }
    std::uint16_t RecordSize() const { return this->U16(extrec::kRecordSize); }
    std::string_view ExtensionNumber() const { return this->Text(extrec::kExtensionNumber); }
    std::string_view ExtPassword() const { return this->Text(extrec::kExtPassword); }
    std::string_view ExtName() const { return this->Text(extrec::kExtName); }
    std::string_view ExtFirstName() const { return this->Text(extrec::kExtFirstName); }
    std::string_view EMailName() const { return this->Text(extrec::kEMailName); }
    std::uint32_t ExtFeatureFlagBank() const { return this->U32(extrec::kExtFeatureFlagBank); }
    std::uint32_t ExtStatusFlagBank() const { return this->U32(extrec::kExtStatusFlagBank); }
    std::uint8_t ConfiguredLineType() const { return this->U8(extrec::kConfiguredLineType); }
    std::uint8_t ExtensionType() const { return this->U8(extrec::kExtensionType); }
    std::uint32_t ForwardTarget() const { return this->U32(extrec::kForwardTarget); }
    std::string_view FwdDialString() const { return this->Text(extrec::kFwdDialString); }
    std::string_view FwdEmailAddr() const { return this->Text(extrec::kFwdEmailAddr); }
    std::uint8_t FwdMailOptions() const { return this->U8(extrec::kFwdMailOptions); }
    std::uint32_t LogonIP() const { return this->U32(extrec::kLogonIP); }

    bool SetRecordVersion(std::uint16_t v) const { return this->SetU16(extrec::kRecordVersion, v); }
    bool SetRecordSize(std::uint16_t v) const { return this->SetU16(extrec::kRecordSize, v); }
    bool SetExtensionNumber(std::string_view t) const { return this->SetText(extrec::kExtensionNumber, t); }
    bool SetExtPassword(std::string_view t) const { return this->SetText(extrec::kExtPassword, t); }
    bool SetExtName(std::string_view t) const { return this->SetText(extrec::kExtName, t); }
    bool SetExtFirstName(std::string_view t) const { return this->SetText(extrec::kExtFirstName, t); }
    bool SetEMailName(std::string_view t) const { return this->SetText(extrec::kEMailName, t); }
    bool SetExtFeatureFlagBank(std::uint32_t v) const { return this->SetU32(extrec::kExtFeatureFlagBank, v); }
    bool SetExtStatusFlagBank(std::uint32_t v) const { return this->SetU32(extrec::kExtStatusFlagBank, v); }
    bool SetConfiguredLineType(std::uint8_t v) const { return this->SetU8(extrec::kConfiguredLineType, v); }
    bool SetExtensionType(std::uint8_t v) const { return this->SetU8(extrec::kExtensionType, v); }
    bool SetForwardTarget(std::uint32_t v) const { return this->SetU32(extrec::kForwardTarget, v); }
    // maxChars lets a caller keep the dial string shorter than its field allows.
    bool SetFwdDialString(std::string_view t, std::size_t maxChars = static_cast<std::size_t>(-1)) const {
        return this->SetText(extrec::kFwdDialString, t, maxChars);
    }
    bool SetFwdEmailAddr(std::string_view t) const { return this->SetText(extrec::kFwdEmailAddr, t); }
    bool SetFwdMailOptions(std::uint8_t v) const { return this->SetU8(extrec::kFwdMailOptions, v); }
    bool SetLogonIP(std::uint32_t v) const { return this->SetU32(extrec::kLogonIP, v); }
};

using ExtRec = BasicExtRec<std::uint8_t>;
using ConstExtRec = BasicExtRec<const std::uint8_t>;

}  // namespace server
