// A received list: one contiguous buffer holding records of one length back to back. The list
// only addresses records inside the buffer; it copies nothing and owns nothing, so the buffer
// must outlive it and must not move (a std::vector that grows only within its capacity).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "server/ExtRec.h"
#include "server/WorkgrpRec.h"

namespace server {

template <class Rec>
class RecordList {
public:
    using Byte = typename Rec::Byte;

    class iterator {
    public:
        using value_type = Rec;
        using difference_type = std::ptrdiff_t;
        iterator() = default;
        iterator(Byte* p, std::size_t len) : m_p(p), m_len(len) {}
        Rec operator*() const { return Rec(m_p, m_len); }
        iterator& operator++() { m_p += m_len; return *this; }
        iterator operator++(int) { iterator t = *this; ++*this; return t; }
        bool operator==(const iterator&) const = default;

    private:
        Byte* m_p = nullptr;
        std::size_t m_len = 0;
    };

    RecordList() = default;
    RecordList(Byte* data, std::size_t recordLength, std::size_t count)
        : m_data(data), m_length(recordLength), m_count(count) {}

    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    std::size_t RecordLength() const { return m_length; }
    std::size_t ByteCount() const { return m_length * m_count; }
    Rec operator[](std::size_t k) const { return Rec(m_data + k * m_length, m_length); }
    iterator begin() const { return iterator(m_data, m_length); }
    iterator end() const { return iterator(m_data + ByteCount(), m_length); }

private:
    Byte* m_data = nullptr;
    std::size_t m_length = 0;
    std::size_t m_count = 0;
};

using ExtList = RecordList<ExtRec>;
using ConstExtList = RecordList<ConstExtRec>;
using WorkgroupList = RecordList<WORKGRPREC>;
using ConstWorkgroupList = RecordList<ConstWORKGRPREC>;

// Number of records of length L in n bytes. A remainder, or L == 0, refuses the whole list with
// the ExtRec warning on the trace. An empty list (n == 0) has no records.
std::optional<std::size_t> ExtRecordCount(std::size_t n, std::size_t L);

// The record length of a workgroup list: RecordSize of its first record. A list too short to hold
// that field, a RecordSize of 0, or a remainder refuses it with the WORKGRPREC warning. An empty
// list has length 0 and no records.
std::optional<std::size_t> WorkgroupRecordLength(const std::uint8_t* data, std::size_t n);

// The n bytes at data cut into records; nullopt when refused as above.
std::optional<ExtList> CutExtList(std::uint8_t* data, std::size_t n, std::size_t L);
std::optional<ConstExtList> CutExtList(const std::uint8_t* data, std::size_t n, std::size_t L);
std::optional<WorkgroupList> CutWorkgroupList(std::uint8_t* data, std::size_t n);
std::optional<ConstWorkgroupList> CutWorkgroupList(const std::uint8_t* data, std::size_t n);

}  // namespace server
