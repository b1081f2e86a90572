// SysConfigTable: view of the server's system configuration table (a kSize-byte buffer that the
// connection owns).
#pragma once

#include "server/RecordView.h"

namespace server {

template <class B>
class BasicSysConfigTable : public BasicRecordView<B> {
    using Base = BasicRecordView<B>;

    static constexpr std::size_t Entry(std::size_t i) {
        return syscfg::kDialPlan + i * syscfg::kDialPlanEntrySize;
    }

public:
    using Base::Base;
    template <class O>
        requires(std::is_const_v<B> && std::is_same_v<O, std::uint8_t>)
    constexpr BasicSysConfigTable(const BasicSysConfigTable<O>& o) : Base(o.data(), o.size()) {}

    std::uint16_t ServerVersion() const { return this->U16(syscfg::kServerVersion); }
    std::string_view AdminPassword() const { return this->Text(syscfg::kAdminPassword); }
    std::int32_t ExtNumberLength() const { return this->I32(syscfg::kExtNumberLength); }

    // Dial plan entry i (0..15): its dial character and digit class.
    signed char DialChar(std::size_t i) const {
        return i < syscfg::kDialPlanEntries ? static_cast<signed char>(this->U8(Entry(i) + syscfg::kDialChar)) : 0;
    }
    std::int32_t DialClass(std::size_t i) const {
        return i < syscfg::kDialPlanEntries ? this->I32(Entry(i) + syscfg::kDialClass) : 0;
    }
    // Class of the first entry whose character is c; a digit without an entry starts an extension.
    std::int32_t DigitClass(char c) const {
        for (std::size_t i = 0; i < syscfg::kDialPlanEntries; ++i) {
            if (!this->Has(Entry(i), syscfg::kDialPlanEntrySize)) break;
            if (DialChar(i) == static_cast<signed char>(c)) return DialClass(i);
        }
        return syscfg::kClassExtension;
    }

    bool SetServerVersion(std::uint16_t v) const { return this->SetU16(syscfg::kServerVersion, v); }
    bool SetAdminPassword(std::string_view t) const { return this->SetText(syscfg::kAdminPassword, t); }
    bool SetExtNumberLength(std::int32_t v) const { return this->SetI32(syscfg::kExtNumberLength, v); }
    bool SetDialPlanEntry(std::size_t i, char c, std::int32_t cls) const {
        return i < syscfg::kDialPlanEntries && this->SetU8(Entry(i) + syscfg::kDialChar, static_cast<std::uint8_t>(c)) &&
               this->SetI32(Entry(i) + syscfg::kDialClass, cls);
    }
};

using SysConfigTable = BasicSysConfigTable<std::uint8_t>;
using ConstSysConfigTable = BasicSysConfigTable<const std::uint8_t>;

}  // namespace server
