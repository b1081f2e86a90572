#include "proxy/StubEngine.h"

#include <cstring>
#include <new>

#include "com/NdrReader.h"
#include "com/NdrWriter.h"
#include "platform/Trace.h"

namespace zent {

using namespace com;

namespace {

// Out byte arrays at least this large may go straight into the reply (InPlaceArray); the others
// get a buffer of their own.
constexpr uint32_t kInPlaceMinimum = 4096;

// A count parameter's value as the request gave it; the stub accepts no negative count.
bool RequestCount(const ShapeDesc& s, size_t i, const StubSlot* slots, uint32_t& n) {
    int32_t v = slots[size_t(s.params[i].count)].i32;
    if (v < 0) return false;
    n = uint32_t(v);
    return true;
}

// Zero-filled storage for a buffer of n bytes (a zero count still passes a valid pointer); null
// when the memory is not there.
void* Allocate(StubSlot& slot, size_t n) {
    try {
        slot.buffer.assign(n ? n : 1, 0);
    } catch (const std::bad_alloc&) {
        return slot.ptr = nullptr;
    }
    return slot.ptr = slot.buffer.data();
}

HRESULT ReadRequest(NdrReader& r, const ShapeDesc& s, StubSlot* slots, IRpcChannelBuffer* channel) {
    size_t allocated = 0;
    for (size_t i = 0; i < s.paramCount; ++i) {
        StubSlot& slot = slots[i];
        uint32_t n = 0;
        switch (s.params[i].kind) {
        case Kind::InI8: r.Small(slot.i8); break;
        case Kind::InU8: r.Byte(slot.u8); break;
        case Kind::InI16: r.Short(slot.i16); break;
        case Kind::InI32: r.Long(slot.i32); break;
        case Kind::InRefI32:
        case Kind::InOutI32:
            r.Long(slot.i32);
            slot.ptr = &slot.i32;
            break;
        case Kind::OutI32: slot.ptr = &slot.i32; break;
        case Kind::OutI8: slot.ptr = &slot.i8; break;
        case Kind::OutU8: slot.ptr = &slot.u8; break;
        case Kind::OutPair: slot.ptr = &slot.pair; break;
        case Kind::InPair: r.LongPair(slot.pair.first, slot.pair.second); break;
        case Kind::InGuid: r.Guid(slot.guid); break;
        case Kind::InBytes:
        case Kind::InChars:
        case Kind::InOutBytes: {
            uint32_t expected;
            if (!RequestCount(s, i, slots, expected)) return RPC_X_BAD_STUB_DATA;
            const uint8_t* p;
            if (!r.ConformantBytesView(p, n, expected)) break;
            if (n != expected) return RPC_X_BAD_STUB_DATA;
            slot.count = n;
            if (s.params[i].kind == Kind::InOutBytes) {
                if (!Allocate(slot, n)) return E_OUTOFMEMORY;
                if (n) std::memcpy(slot.ptr, p, n);  // the server may write it
            } else {
                slot.ptr = const_cast<uint8_t*>(p);  // read in place
            }
            break;
        }
        case Kind::OutBytes:
        case Kind::OutPairArray: {
            if (!RequestCount(s, i, slots, n)) return RPC_X_BAD_STUB_DATA;
            size_t bytes = size_t(n) * (s.params[i].kind == Kind::OutBytes ? 1 : 8);
            if (bytes > kMaxStubAllocation - allocated) return E_OUTOFMEMORY;
            allocated += bytes;
            slot.count = n;
            // A large out byte array gets its storage once the call's arrays are known (StubInvoke).
            if (s.params[i].kind == Kind::OutBytes && n >= kInPlaceMinimum) break;
            if (!Allocate(slot, bytes)) return E_OUTOFMEMORY;
            break;
        }
        case Kind::InString:
        case Kind::InOutString: {
            const char* text;
            if (!r.StringView(text, n, UINT32_MAX)) break;
            slot.count = n;
            if (s.params[i].kind == Kind::InOutString) {
                if (!Allocate(slot, n)) return E_OUTOFMEMORY;
                if (n) std::memcpy(slot.ptr, text, n);
            } else {
                slot.ptr = const_cast<char*>(text);
            }
            break;
        }
        case Kind::InWString:
            if (r.WString(slot.wide, UINT32_MAX)) slot.ptr = slot.wide.data();
            break;
        case Kind::OutChar64:
            if (!Allocate(slot, 64)) return E_OUTOFMEMORY;
            break;
        case Kind::InSink: {
            const uint8_t* objref;
            if (!r.InterfacePointer(objref, n, UINT32_MAX) || !objref) break;
            void* sink = nullptr;
            HRESULT hr = channel->GetMarshalService()->UnmarshalInterface(objref, n, IID_IZentAdviseSink, &sink);
            if (FAILED(hr)) return hr;
            slot.ptr = sink;
            break;
        }
        }
        if (!r.Ok()) break;
    }
    if (!r.Ok()) {
        platform::TraceF("zentproxy: request of shape %s: %s", s.name, NdrErrorText(r.Error()));
        return NdrErrorToHResult(r.Error());
    }
    return S_OK;
}

// The element count an out array goes back with: what the server left in its in/out count, or
// the count of the request. Never more than the stub allocated.
bool ReplyCount(const ShapeDesc& s, size_t i, const StubSlot* slots, uint32_t& n) {
    size_t c = size_t(s.params[i].count);
    if (s.params[c].kind != Kind::InOutI32) {
        n = slots[i].count;
        return true;
    }
    int32_t v = slots[c].i32;
    if (v < 0 || uint32_t(v) > slots[i].count) return false;
    n = uint32_t(v);
    return true;
}

// Writes the reply; the out array `inPlace` (when >= 0) is already in the buffer at its place.
// `upTo` stops before that parameter's elements, for finding where they go.
void WriteReply(NdrWriter& w, const ShapeDesc& s, const StubSlot* slots, const uint32_t* counts, HRESULT result,
                int inPlace = -1, bool upTo = false) {
    for (size_t i = 0; i < s.paramCount; ++i) {
        const StubSlot& slot = slots[i];
        if (int(i) == inPlace) {
            w.ULong(counts[i]);
            if (upTo) return;
            w.Skip(counts[i]);
            continue;
        }
        switch (s.params[i].kind) {
        case Kind::InOutI32:
        case Kind::OutI32: w.Long(slot.i32); break;
        case Kind::OutI8: w.Small(slot.i8); break;
        case Kind::OutU8: w.Byte(slot.u8); break;
        case Kind::OutPair: w.LongPair(slot.pair.first, slot.pair.second); break;
        case Kind::OutBytes:
        case Kind::InOutBytes: w.ConformantBytes(slot.ptr, counts[i]); break;
        case Kind::OutPairArray: {
            w.ULong(counts[i]);
            const auto* pairs = static_cast<const ZentLongPair*>(slot.ptr);
            for (uint32_t k = 0; k < counts[i]; ++k) w.LongPair(pairs[k].first, pairs[k].second);
            break;
        }
        case Kind::InOutString: w.String(static_cast<const char*>(slot.ptr), counts[i]); break;
        case Kind::OutChar64: w.FixedChars(static_cast<const char*>(slot.ptr), 64); break;
        default: break;
        }
    }
    w.Long(result);
}

// The out byte array a server may write in place: the only large one, behind nothing whose size
// the call decides. -1 when there is none.
int InPlaceArray(const ShapeDesc& s, const StubSlot* slots) {
    int found = -1;
    bool variableBefore = false;
    for (size_t i = 0; i < s.paramCount; ++i) {
        switch (s.params[i].kind) {
        case Kind::OutBytes:
            if (found < 0 && !variableBefore && slots[i].count >= kInPlaceMinimum) {
                found = int(i);
                break;
            }
            [[fallthrough]];
        case Kind::InOutBytes:
        case Kind::OutPairArray:
        case Kind::InOutString:
            variableBefore = true;
            break;
        default:
            break;
        }
    }
    return found;
}

// Takes the reply buffer for the largest reply the call can give and points the array's slot at
// the place its elements take in it.
HRESULT PlaceArray(const ShapeDesc& s, StubSlot* slots, int inPlace, RPCOLEMESSAGE* msg, IRpcChannelBuffer* channel,
                   const IID& iid) {
    uint32_t most[kMaxParams] = {};
    for (size_t i = 0; i < s.paramCount; ++i) most[i] = slots[i].count;
    NdrWriter sizer;
    WriteReply(sizer, s, slots, most, S_OK);
    if (!sizer.Ok()) return NdrErrorToHResult(sizer.Error());
    // Room for the padding a different stream origin may add.
    msg->cbBuffer = uint32_t(sizer.Size() + 8);
    HRESULT hr = channel->GetBuffer(msg, iid);
    if (FAILED(hr)) return hr;
    NdrWriter before(nullptr, 0, msg->streamOrigin);
    WriteReply(before, s, slots, most, S_OK, inPlace, true);
    if (!before.Ok() || before.Size() + slots[inPlace].count > msg->cbBuffer) return RPC_X_BAD_STUB_DATA;
    slots[inPlace].ptr = msg->Buffer + before.Size();
    return S_OK;
}

}  // namespace

HRESULT StubInvoke(void* itf, StubThunk thunk, const ShapeDesc& s, RPCOLEMESSAGE* msg, IRpcChannelBuffer* channel,
                   const IID& iid) {
    StubSlot slots[kMaxParams];
    NdrReader reader(msg->Buffer, msg->cbBuffer, msg->dataRepresentation, msg->streamOrigin);
    HRESULT hr = ReadRequest(reader, s, slots, channel);
    auto releaseSinks = [&] {
        for (size_t i = 0; i < s.paramCount; ++i)
            if (s.params[i].kind == Kind::InSink && slots[i].ptr) static_cast<IUnknown*>(slots[i].ptr)->Release();
    };
    if (FAILED(hr)) {
        releaseSinks();
        return hr;
    }

    // A large out array is written by the server straight into the reply buffer, where it goes
    // on the wire: no buffer of its own and no copy (a whole extension list is tens of MB).
    const int inPlace = InPlaceArray(s, slots);
    if (inPlace >= 0) hr = PlaceArray(s, slots, inPlace, msg, channel, iid);
    for (size_t i = 0; i < s.paramCount && SUCCEEDED(hr); ++i)
        if (s.params[i].kind == Kind::OutBytes && !slots[i].ptr && int(i) != inPlace) {
            if (!Allocate(slots[i], slots[i].count)) hr = E_OUTOFMEMORY;
        }
    if (FAILED(hr)) {
        releaseSinks();
        return hr;
    }

    HRESULT result = thunk(itf, slots);
    releaseSinks();  // a server that keeps a sink holds its own reference

    uint32_t counts[kMaxParams] = {};
    for (size_t i = 0; i < s.paramCount; ++i) {
        Kind k = s.params[i].kind;
        bool ok = true;
        if (k == Kind::OutBytes || k == Kind::InOutBytes || k == Kind::OutPairArray) {
            ok = ReplyCount(s, i, slots, counts[i]);
        } else if (k == Kind::InOutString) {
            counts[i] = uint32_t(strnlen(static_cast<const char*>(slots[i].ptr), slots[i].count)) + 1;
            ok = counts[i] <= slots[i].count;  // the NUL must lie inside the buffer
        }
        if (!ok) {
            platform::TraceF("zentproxy: server result of shape %s does not fit its buffer (parameter %zu)", s.name, i + 1);
            return RPC_X_BAD_STUB_DATA;
        }
    }

    if (inPlace >= 0) {
        // The buffer was sized for the largest reply; the array's place does not move with its count.
        NdrWriter writer(msg->Buffer, msg->cbBuffer, msg->streamOrigin);
        WriteReply(writer, s, slots, counts, result, inPlace);
        if (!writer.Ok()) return NdrErrorToHResult(writer.Error());
        msg->cbBuffer = uint32_t(writer.Size());
    } else {
        NdrWriter sizer;
        WriteReply(sizer, s, slots, counts, result);
        if (!sizer.Ok()) return NdrErrorToHResult(sizer.Error());
        msg->cbBuffer = uint32_t(sizer.Size());
        hr = channel->GetBuffer(msg, iid);
        if (FAILED(hr)) return hr;
        NdrWriter writer(msg->Buffer, msg->cbBuffer, msg->streamOrigin);
        WriteReply(writer, s, slots, counts, result);
        if (!writer.Ok() || writer.Size() != msg->cbBuffer)
            return writer.Ok() ? RPC_X_BAD_STUB_DATA : NdrErrorToHResult(writer.Error());
    }
    // The reply is in this engine's byte order whatever the request's was.
    msg->dataRepresentation = NDR_LOCAL_DATA_REPRESENTATION;
    return S_OK;
}

}  // namespace zent
