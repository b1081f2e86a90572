// Reassembles the stub data of one call from its fragments. The bytes go into one growing
// buffer, never allocated ahead of their arrival and never beyond a limit. For a reply, the
// caller may name one out byte array to land straight in its own memory (a whole extension list
// in the list's buffer): those elements are then left out of the assembled stream, and the
// reader accounts for them by their count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "com/RpcMessage.h"

namespace com {

// Length of a prefix (the ORPC header) at the start of the stub data: > 0 when complete, 0 when
// more bytes are needed, < 0 when malformed.
using PrefixLengthFn = long (*)(const uint8_t* data, size_t n, uint32_t drep);

class StubAssembler {
public:
    enum class Status : uint8_t { Ok, TooLarge, OutOfMemory };

    // limit: most stub bytes accepted in all; prefix: null when there is none.
    StubAssembler(size_t limit, uint32_t drep, PrefixLengthFn prefix, const ReplyPlacement* placement);
    ~StubAssembler() { std::free(m_head); }
    StubAssembler(const StubAssembler&) = delete;
    StubAssembler& operator=(const StubAssembler&) = delete;

    // Where the next stub bytes of the stream go, at most `want` of them: write up to `length`
    // bytes at `span`, then Commit what was written. Fails only on the limit or memory. A prefix
    // that cannot be read, or an array larger than the target, is simply not placed: the reader
    // of the stream then finds the fault.
    Status NextSpan(size_t want, uint8_t*& span, size_t& length);
    Status Commit(size_t n);
    // Both in one: copies data through the spans.
    Status Append(const uint8_t* data, size_t n);

    size_t Total() const { return m_total; }  // stub bytes received, placed ones included
    size_t PrefixLength() const { return m_prefix; }
    bool Placed() const { return m_state == State::Placing; }
    uint32_t PlacedCount() const { return m_count; }
    // The assembled stream (prefix, then the parameters without the placed elements); Release
    // hands the malloc'ed buffer over (free() it).
    const uint8_t* Data() const { return m_head; }
    size_t Size() const { return m_size; }
    uint8_t* Release();

private:
    enum class State : uint8_t { None, Undecided, Placing };

    Status Reserve(size_t n);
    void TryDecide();

    size_t m_limit;
    uint32_t m_drep;
    PrefixLengthFn m_prefixFn;
    ReplyPlacement m_place;
    State m_state;
    uint8_t* m_head = nullptr;
    size_t m_size = 0;
    size_t m_cap = 0;
    size_t m_total = 0;
    size_t m_prefix = 0;
    bool m_prefixKnown = false;
    size_t m_arrayStart = 0;  // stream position of the first placed element
    uint32_t m_count = 0;
    uint8_t* m_pendingSpan = nullptr;
    size_t m_pendingLength = 0;
    bool m_pendingInTarget = false;
};

const char* StubAssemblerStatusText(StubAssembler::Status s);

}  // namespace com
