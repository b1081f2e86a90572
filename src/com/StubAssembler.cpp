#include "com/StubAssembler.h"

#include <algorithm>
#include <cstring>

namespace com {

const char* StubAssemblerStatusText(StubAssembler::Status s) {
    switch (s) {
    case StubAssembler::Status::Ok: return "ok";
    case StubAssembler::Status::TooLarge: return "the call's data exceeds the largest size accepted";
    case StubAssembler::Status::OutOfMemory: return "out of memory while receiving the call's data";
    }
    return "unknown";
}

StubAssembler::StubAssembler(size_t limit, uint32_t drep, PrefixLengthFn prefix, const ReplyPlacement* placement)
    : m_limit(limit), m_drep(drep), m_prefixFn(prefix), m_state(placement && placement->target ? State::Undecided : State::None) {
    if (placement) m_place = *placement;
}

StubAssembler::Status StubAssembler::Reserve(size_t n) {
    if (n <= m_cap) return Status::Ok;
    // Grows with what has arrived, never with what a length field claims.
    size_t cap = std::max<size_t>(m_cap ? m_cap * 2 : 4096, n);
    cap = std::min(cap, m_limit);
    if (cap < n) return Status::TooLarge;
    void* p = std::realloc(m_head, cap ? cap : 1);
    if (!p) return Status::OutOfMemory;
    m_head = static_cast<uint8_t*>(p);
    m_cap = cap;
    return Status::Ok;
}

StubAssembler::Status StubAssembler::NextSpan(size_t want, uint8_t*& span, size_t& length) {
    span = nullptr;
    length = 0;
    if (want == 0) return Status::Ok;
    if (m_total >= m_limit) return Status::TooLarge;
    want = std::min(want, m_limit - m_total);
    if (m_state == State::Placing && m_total >= m_arrayStart && m_total - m_arrayStart < m_count) {
        const size_t placed = m_total - m_arrayStart;
        m_pendingInTarget = true;
        span = m_place.target + placed;
        length = std::min(want, size_t(m_count) - placed);
    } else {
        if (Status s = Reserve(m_size + want); s != Status::Ok) return s;
        m_pendingInTarget = false;
        span = m_head + m_size;
        length = want;
    }
    m_pendingSpan = span;
    m_pendingLength = length;
    return Status::Ok;
}

StubAssembler::Status StubAssembler::Commit(size_t n) {
    n = std::min(n, m_pendingLength);
    m_pendingLength = 0;
    m_total += n;
    if (m_pendingInTarget) return Status::Ok;
    m_size += n;
    if (m_state == State::Undecided) TryDecide();
    return Status::Ok;
}

StubAssembler::Status StubAssembler::Append(const uint8_t* data, size_t n) {
    while (n > 0) {
        uint8_t* span;
        size_t length;
        if (Status s = NextSpan(n, span, length); s != Status::Ok) return s;
        std::memcpy(span, data, length);
        Commit(length);
        data += length;
        n -= length;
    }
    return Status::Ok;
}

void StubAssembler::TryDecide() {
    if (!m_prefixKnown) {
        long len = m_prefixFn ? m_prefixFn(m_head, m_size, m_drep) : 0;
        if (m_prefixFn && len == 0) return;  // more bytes needed
        if (len < 0) {
            m_state = State::None;
            return;
        }
        m_prefix = size_t(len);
        m_prefixKnown = true;
    }
    const size_t countAt = ((m_prefix + 3) & ~size_t(3)) + m_place.countOffset;
    if (m_size < countAt + 4) return;
    const uint8_t* c = m_head + countAt;
    const bool bigEndian = (m_drep & 0xF0) == 0;
    const uint32_t count = bigEndian ? uint32_t(c[0]) << 24 | uint32_t(c[1]) << 16 | uint32_t(c[2]) << 8 | c[3]
                                     : uint32_t(c[3]) << 24 | uint32_t(c[2]) << 16 | uint32_t(c[1]) << 8 | c[0];
    if (count > m_place.capacity) {
        m_state = State::None;
        return;
    }
    // Everything so far sits in the head; elements already received move to the target.
    m_arrayStart = countAt + 4;
    m_count = count;
    const size_t excess = m_size - m_arrayStart;
    const size_t move = std::min(excess, size_t(count));
    if (move) {
        std::memcpy(m_place.target, m_head + m_arrayStart, move);
        std::memmove(m_head + m_arrayStart, m_head + m_arrayStart + move, excess - move);
        m_size -= move;
    }
    m_state = State::Placing;
}

uint8_t* StubAssembler::Release() {
    uint8_t* p = m_head;
    m_head = nullptr;
    m_size = m_cap = 0;
    return p;
}

}  // namespace com
