#include "proxy/ProxyEngine.h"

#include <cstring>
#include <string>
#include <vector>

#include "com/NdrReader.h"
#include "com/NdrWriter.h"
#include "platform/Trace.h"

namespace zent {

using namespace com;

namespace {

// What the routine knows of one parameter during the call.
struct ParamState {
    int32_t value = 0;       // the in value of a long (or of the long behind an in/out pointer)
    int32_t reply = 0;       // in/out long as the reply gives it, committed only on success
    uint32_t count = 0;      // arrays: elements sent or capacity; strings: units sent incl. NUL
    bool countKnown = false;
    std::vector<uint8_t> objref;
    bool marshaled = false;
};

template <class T> T Arg(const void* a) { return *static_cast<const T*>(a); }

bool IsPointer(Kind k) {
    switch (k) {
    case Kind::InI8: case Kind::InU8: case Kind::InI16: case Kind::InI32: case Kind::InPair: case Kind::InGuid:
        return false;
    default:
        return true;
    }
}

// Is parameter i the count of an out-only array (so a failed call reports nothing filled)?
bool CountsOutArray(const ShapeDesc& s, size_t i) {
    for (size_t j = 0; j < s.paramCount; ++j)
        if (s.params[j].count == int(i) && (s.params[j].kind == Kind::OutBytes || s.params[j].kind == Kind::OutPairArray))
            return true;
    return false;
}

void ClearOuts(const ShapeDesc& s, const void* const* args, const ParamState* st) {
    for (size_t i = 0; i < s.paramCount; ++i) {
        if (!IsPointer(s.params[i].kind)) continue;
        void* p = Arg<void*>(args[i]);
        if (!p) continue;
        switch (s.params[i].kind) {
        case Kind::OutI32: *static_cast<int32_t*>(p) = 0; break;
        case Kind::OutI8: *static_cast<int8_t*>(p) = 0; break;
        case Kind::OutU8: *static_cast<uint8_t*>(p) = 0; break;
        case Kind::OutPair: *static_cast<ZentLongPair*>(p) = ZentLongPair{}; break;
        case Kind::OutChar64: std::memset(p, 0, 64); break;
        case Kind::OutBytes:
            if (st[i].countKnown) std::memset(p, 0, st[i].count);
            break;
        case Kind::OutPairArray:
            if (st[i].countKnown)
                for (uint32_t k = 0; k < st[i].count; ++k) static_cast<ZentLongPair*>(p)[k] = ZentLongPair{};
            break;
        case Kind::InOutI32:
            if (CountsOutArray(s, i)) *static_cast<int32_t*>(p) = 0;
            break;
        default: break;
        }
    }
}

void WriteRequest(NdrWriter& w, const ShapeDesc& s, const void* const* args, const ParamState* st) {
    for (size_t i = 0; i < s.paramCount && w.Ok(); ++i) {
        const void* a = args[i];
        switch (s.params[i].kind) {
        case Kind::InI8: w.Small(Arg<int8_t>(a)); break;
        case Kind::InU8: w.Byte(Arg<uint8_t>(a)); break;
        case Kind::InI16: w.Short(Arg<int16_t>(a)); break;
        case Kind::InI32:
        case Kind::InRefI32:
        case Kind::InOutI32: w.Long(st[i].value); break;
        case Kind::InPair: {
            ZentLongPair p = Arg<ZentLongPair>(a);
            w.LongPair(p.first, p.second);
            break;
        }
        case Kind::InGuid: w.Guid(Arg<GUID>(a)); break;
        case Kind::InBytes:
        case Kind::InChars:
        case Kind::InOutBytes: w.ConformantBytes(Arg<const void*>(a), st[i].count); break;
        case Kind::InString:
        case Kind::InOutString: w.String(Arg<const char*>(a), st[i].count); break;
        case Kind::InWString: w.WString(Arg<const char16_t*>(a), st[i].count); break;
        case Kind::InSink:
            w.InterfacePointer(st[i].marshaled ? st[i].objref.data() : nullptr, uint32_t(st[i].objref.size()));
            break;
        default: break;  // out only
        }
    }
}

// The element count an array of the reply must have: the count parameter's value as the reply
// left it (in/out long) or as it was sent.
uint32_t ExpectedReplyCount(const ShapeDesc& s, size_t i, const ParamState* st) {
    size_t c = size_t(s.params[i].count);
    return uint32_t(s.params[c].kind == Kind::InOutI32 ? st[c].reply : st[c].value);
}

bool ReadReply(NdrReader& r, const ShapeDesc& s, const void* const* args, ParamState* st,
               const ReplyPlacement* placement, int placedParam) {
    for (size_t i = 0; i < s.paramCount && r.Ok(); ++i) {
        if (!SentInReply(s.params[i].kind)) continue;
        void* p = Arg<void*>(args[i]);  // every reply parameter is a pointer
        uint32_t n = 0;
        switch (s.params[i].kind) {
        case Kind::InOutI32: r.Long(st[i].reply); break;
        case Kind::OutI32: r.Long(*static_cast<int32_t*>(p)); break;
        case Kind::OutI8: r.Small(*static_cast<int8_t*>(p)); break;
        case Kind::OutU8: r.Byte(*static_cast<uint8_t*>(p)); break;
        case Kind::OutPair: {
            auto* pair = static_cast<ZentLongPair*>(p);
            r.LongPair(pair->first, pair->second);
            break;
        }
        case Kind::OutBytes:
        case Kind::InOutBytes:
            if (placement && placement->placed && int(i) == placedParam) {
                // The channel put the elements in the caller's buffer; the count is still here.
                if (!r.ULong(n)) break;
                if (n > st[i].count) r.Fail(NdrError::CapacityExceeded);
                else if (n != placement->count || n != ExpectedReplyCount(s, i, st)) r.Fail(NdrError::BadCount);
                else r.Skipped(n);
                break;
            }
            // Never more than the caller's buffer holds, and exactly what the count says.
            if (r.ConformantBytes(static_cast<uint8_t*>(p), st[i].count, n) && n != ExpectedReplyCount(s, i, st))
                r.Fail(NdrError::BadCount);
            break;
        case Kind::OutPairArray: {
            if (!r.ConformantCount(n, st[i].count, 8)) break;
            if (n != ExpectedReplyCount(s, i, st)) return r.Fail(NdrError::BadCount);
            auto* pairs = static_cast<ZentLongPair*>(p);
            for (uint32_t k = 0; k < n && r.LongPair(pairs[k].first, pairs[k].second); ++k) {
            }
            break;
        }
        case Kind::InOutString: {
            // The reply's string goes back into the caller's buffer, which is known to hold the
            // string sent: a reply string longer than that (NUL included) is refused.
            const char* text;
            if (r.StringView(text, n, st[i].count)) std::memcpy(p, text, n);
            break;
        }
        case Kind::OutChar64: r.FixedChars(static_cast<char*>(p), 64); break;
        default: break;  // in only
        }
    }
    return r.Ok();
}

// The out byte array a channel may place straight into the caller's buffer: the first one, when
// only longs come before it in the reply. -1 when there is none; offset: the longs' size.
int PlaceableParam(const ShapeDesc& s, uint32_t& offset) {
    offset = 0;
    for (size_t i = 0; i < s.paramCount; ++i) {
        const Kind k = s.params[i].kind;
        if (!SentInReply(k)) continue;
        if (k == Kind::InOutI32 || k == Kind::OutI32) {
            offset += 4;
            continue;
        }
        return k == Kind::OutBytes ? int(i) : -1;
    }
    return -1;
}

}  // namespace

HRESULT ProxyInvoke(IRpcChannelBuffer* channel, const IID& iid, uint32_t method, const ShapeDesc& s,
                    const void* const* args) {
    ParamState st[kMaxParams];
    if (!channel) {
        ClearOuts(s, args, st);
        return CO_E_OBJNOTCONNECTED;
    }
    // Reference pointers may not be null; nothing is sent then.
    for (size_t i = 0; i < s.paramCount; ++i) {
        Kind k = s.params[i].kind;
        if (IsPointer(k) && k != Kind::InSink && !Arg<void*>(args[i])) {
            ClearOuts(s, args, st);
            return RPC_X_NULL_REF_POINTER;
        }
    }
    IMarshalService* marshaler = nullptr;
    HRESULT hr = S_OK;
    auto releaseMarshaled = [&] {
        for (size_t i = 0; i < s.paramCount; ++i)
            if (st[i].marshaled) marshaler->ReleaseMarshalData(st[i].objref.data(), st[i].objref.size());
    };
    auto fail = [&](HRESULT code) {
        releaseMarshaled();
        ClearOuts(s, args, st);
        return code;
    };

    for (size_t i = 0; i < s.paramCount; ++i) {
        const void* a = args[i];
        const ParamDesc& d = s.params[i];
        switch (d.kind) {
        case Kind::InI32: st[i].value = Arg<int32_t>(a); break;
        case Kind::InRefI32:
        case Kind::InOutI32: st[i].value = st[i].reply = *Arg<const int32_t*>(a); break;
        case Kind::InBytes:
        case Kind::InChars:
        case Kind::OutBytes:
        case Kind::InOutBytes:
        case Kind::OutPairArray: {
            int32_t n = st[size_t(d.count)].value;
            if (n < 0) return fail(RPC_S_INVALID_BOUND);
            st[i].count = uint32_t(n);
            st[i].countKnown = true;
            break;
        }
        case Kind::InString:
        case Kind::InOutString: {
            size_t n = std::strlen(Arg<const char*>(a)) + 1;
            if (n > UINT32_MAX / 2) return fail(RPC_S_INVALID_BOUND);
            st[i].count = uint32_t(n);
            break;
        }
        case Kind::InWString: {
            size_t n = std::char_traits<char16_t>::length(Arg<const char16_t*>(a)) + 1;
            if (n > UINT32_MAX / 4) return fail(RPC_S_INVALID_BOUND);
            st[i].count = uint32_t(n);
            break;
        }
        case Kind::InSink:
            if (auto* sink = Arg<IZentAdviseSink*>(a)) {
                if (!marshaler) marshaler = channel->GetMarshalService();
                hr = marshaler->MarshalInterface(sink, IID_IZentAdviseSink, st[i].objref);
                if (FAILED(hr)) return fail(hr);
                st[i].marshaled = true;
            }
            break;
        default: break;
        }
    }

    NdrWriter sizer;
    WriteRequest(sizer, s, args, st);
    if (!sizer.Ok()) return fail(NdrErrorToHResult(sizer.Error()));

    RPCOLEMESSAGE msg;
    msg.cbBuffer = uint32_t(sizer.Size());
    msg.iMethod = method;
    msg.dataRepresentation = NDR_LOCAL_DATA_REPRESENTATION;
    hr = channel->GetBuffer(&msg, iid);
    if (FAILED(hr)) return fail(hr);
    NdrWriter writer(msg.Buffer, msg.cbBuffer, msg.streamOrigin);
    WriteRequest(writer, s, args, st);
    if (!writer.Ok() || writer.Size() != msg.cbBuffer) {
        channel->FreeBuffer(&msg);
        return fail(RPC_S_INVALID_BOUND);
    }

    ReplyPlacement placement;
    uint32_t countOffset = 0;
    const int placedParam = PlaceableParam(s, countOffset);
    if (placedParam >= 0) {
        placement.target = Arg<uint8_t*>(args[placedParam]);
        placement.capacity = st[placedParam].count;
        placement.countOffset = countOffset;
        msg.placement = &placement;
    }

    ULONG status = 0;
    hr = channel->SendReceive(&msg, &status);
    if (FAILED(hr)) {
        if (hr == RPC_E_FAULT) hr = FAILED(HRESULT(status)) ? HRESULT(status) : HRESULT_FROM_WIN32(status);
        if (msg.Buffer) channel->FreeBuffer(&msg);
        return fail(FAILED(hr) ? hr : RPC_S_CALL_FAILED);
    }

    NdrReader reader(msg.Buffer, msg.cbBuffer, msg.dataRepresentation, msg.streamOrigin);
    int32_t result = 0;
    if (ReadReply(reader, s, args, st, msg.placement, placedParam)) reader.Long(result);
    channel->FreeBuffer(&msg);
    if (!reader.Ok()) {
        platform::TraceF("zentproxy: reply of method %u of %s: %s", method, GuidToString(iid).c_str(),
                         NdrErrorText(reader.Error()));
        ClearOuts(s, args, st);  // the server has the marshaled pointers now
        return NdrErrorToHResult(reader.Error());
    }
    for (size_t i = 0; i < s.paramCount; ++i)
        if (s.params[i].kind == Kind::InOutI32) *Arg<int32_t*>(args[i]) = st[i].reply;
    return result;
}

}  // namespace zent
