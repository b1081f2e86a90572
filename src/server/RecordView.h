// A typed window onto a record that lives in someone else's buffer (usually a received list).
// Every access is bounds-checked against the record's own length: a field that does not lie
// wholly inside the record reads as 0 or empty text, and writing it does nothing. Servers may
// report records shorter than this program's definition, so this is normal, not an error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "server/RecordLayout.h"

namespace server {

// Text in a fixed-width field: up to the first NUL, never more than width - 1 characters (a
// field that arrives without a terminator is cut there).
inline std::string_view FieldText(const void* field, std::size_t width) {
    if (width == 0) return {};
    const char* p = static_cast<const char*>(field);
    const void* nul = std::memchr(p, 0, width - 1);
    return {p, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - p) : width - 1};
}

// Copies at most width - 1 characters of text, terminates, and clears the rest of the field so
// no remnant of an earlier, longer value stays behind the terminator.
inline void StoreFieldText(void* field, std::size_t width, std::string_view text,
                           std::size_t maxChars = static_cast<std::size_t>(-1)) {
    if (width == 0) return;
    std::size_t n = text.size();
    if (n > width - 1) n = width - 1;
    if (n > maxChars) n = maxChars;
    char* p = static_cast<char*>(field);
    if (n) std::memcpy(p, text.data(), n);
    std::memset(p + n, 0, width - n);
}

template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) { return FieldText(field, N); }
template <std::size_t N>
void StoreFieldText(char (&field)[N], std::string_view text,
                    std::size_t maxChars = static_cast<std::size_t>(-1)) {
    StoreFieldText(field, N, text, maxChars);
}

// B is std::uint8_t for a writable view, const std::uint8_t for a read-only one.
template <class B>
class BasicRecordView {
    static_assert(std::is_same_v<std::remove_const_t<B>, std::uint8_t>);
    static constexpr bool kWritable = !std::is_const_v<B>;

public:
    using Byte = B;

    constexpr BasicRecordView() = default;
    constexpr BasicRecordView(B* data, std::size_t size) : m_data(data), m_size(data ? size : 0) {}
    template <class O>
        requires(std::is_const_v<B> && std::is_same_v<O, std::uint8_t>)
    constexpr BasicRecordView(const BasicRecordView<O>& o) : m_data(o.data()), m_size(o.size()) {}

    constexpr B* data() const { return m_data; }
    constexpr std::size_t size() const { return m_size; }
    constexpr bool valid() const { return m_data != nullptr; }
    explicit constexpr operator bool() const { return valid(); }

    // True when [offset, offset + width) lies inside the record.
    constexpr bool Has(std::size_t offset, std::size_t width) const {
        return offset <= m_size && width <= m_size - offset;
    }
    constexpr bool Has(TextField f) const { return Has(f.offset, f.width); }

    std::uint8_t U8(std::size_t off) const { return Has(off, 1) ? m_data[off] : 0; }
    std::uint16_t U16(std::size_t off) const {
        if (!Has(off, 2)) return 0;
        return static_cast<std::uint16_t>(m_data[off] | (m_data[off + 1] << 8));
    }
    std::uint32_t U32(std::size_t off) const {
        if (!Has(off, 4)) return 0;
        return static_cast<std::uint32_t>(m_data[off]) | (static_cast<std::uint32_t>(m_data[off + 1]) << 8) |
               (static_cast<std::uint32_t>(m_data[off + 2]) << 16) |
               (static_cast<std::uint32_t>(m_data[off + 3]) << 24);
    }
    std::int32_t I32(std::size_t off) const { return static_cast<std::int32_t>(U32(off)); }
    std::string_view Text(TextField f) const {
        return Has(f) ? FieldText(m_data + f.offset, f.width) : std::string_view{};
    }

    // Writers report false when the field does not fit in the record.
    bool SetU8(std::size_t off, std::uint8_t v) const
        requires kWritable
    {
        if (!Has(off, 1)) return false;
        m_data[off] = v;
        return true;
    }
    bool SetU16(std::size_t off, std::uint16_t v) const
        requires kWritable
    {
        if (!Has(off, 2)) return false;
        m_data[off] = static_cast<std::uint8_t>(v);
        m_data[off + 1] = static_cast<std::uint8_t>(v >> 8);
        return true;
    }
    bool SetU32(std::size_t off, std::uint32_t v) const
        requires kWritable
    {
        if (!Has(off, 4)) return false;
        for (int i = 0; i < 4; ++i) m_data[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
        return true;
    }
    bool SetI32(std::size_t off, std::int32_t v) const
        requires kWritable
    {
        return SetU32(off, static_cast<std::uint32_t>(v));
    }
    bool SetText(TextField f, std::string_view text,
                 std::size_t maxChars = static_cast<std::size_t>(-1)) const
        requires kWritable
    {
        if (!Has(f)) return false;
        StoreFieldText(m_data + f.offset, f.width, text, maxChars);
        return true;
    }
    bool Fill(std::size_t off, std::size_t n, std::uint8_t v) const
        requires kWritable
    {
        if (!Has(off, n)) return false;
        std::memset(m_data + off, v, n);
        return true;
    }
    // Sets or clears the given bits of a u32 word.
    bool SetBits(std::size_t off, std::uint32_t bits, bool on) const
        requires kWritable
    {
        if (!Has(off, 4)) return false;
        const std::uint32_t v = U32(off);
        return SetU32(off, on ? (v | bits) : (v & ~bits));
    }

private:
    B* m_data = nullptr;
    std::size_t m_size = 0;
};

}  // namespace server
