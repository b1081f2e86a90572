// WORKGRPREC: view of one workgroup record, of the length its RecordSize gives.
#pragma once

#include "server/RecordView.h"

namespace server {

template <class B>
class BasicWorkgrpRec : public BasicRecordView<B> {
    using Base = BasicRecordView<B>;

public:
    using Base::Base;
    template <class O>
        requires(std::is_const_v<B> && std::is_same_v<O, std::uint8_t>)
    constexpr BasicWorkgrpRec(const BasicWorkgrpRec<O>& o) : Base(o.data(), o.size()) {}

    std::uint16_t RecordSize() const { return this->U16(workgrp::kRecordSize); }
    std::string_view GroupNumber() const { return this->Text(workgrp::kGroupNumber); }

    // Members end at the first entry whose first byte is 0, after kMaxMembers entries, or at the
    // first entry that no longer lies wholly inside the record.
    std::size_t MemberCount() const {
        std::size_t n = 0;
        while (n < workgrp::kMaxMembers && this->Has(workgrp::Member(n)) &&
               this->data()[workgrp::Member(n).offset] != 0)
            ++n;
        return n;
    }
    // Entry i as text, whether or not it lies behind the end of the list; empty outside the record.
    std::string_view Member(std::size_t i) const {
        return i < workgrp::kMaxMembers ? this->Text(workgrp::Member(i)) : std::string_view{};
    }

    bool SetRecordSize(std::uint16_t v) const { return this->SetU16(workgrp::kRecordSize, v); }
    bool SetGroupNumber(std::string_view t) const { return this->SetText(workgrp::kGroupNumber, t); }
    bool SetMember(std::size_t i, std::string_view t) const {
        return i < workgrp::kMaxMembers && this->SetText(workgrp::Member(i), t);
    }
};

using WORKGRPREC = BasicWorkgrpRec<std::uint8_t>;
using ConstWORKGRPREC = BasicWorkgrpRec<const std::uint8_t>;

}  // namespace server
