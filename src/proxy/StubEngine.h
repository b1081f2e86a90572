// The generic server-side routine: reads a request by its shape descriptor, calls the server
// object through a typed thunk, writes the reply.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "com/RpcInterfaces.h"
#include "proxy/Shapes.h"

namespace zent {

// Most a stub allocates for the out buffers of one call (the largest list a client asks for
// fits); a request asking for more is refused.
constexpr size_t kMaxStubAllocation = com::kMaxStubData;

// One argument of the server call as the stub holds it.
struct StubSlot {
    int32_t i32 = 0;
    int16_t i16 = 0;
    int8_t i8 = 0;
    uint8_t u8 = 0;
    com::GUID guid;
    ZentLongPair pair;
    void* ptr = nullptr;  // what a pointer parameter receives
    uint32_t count = 0;   // arrays: elements; strings: units incl. NUL
    std::vector<uint8_t> buffer;
    std::u16string wide;

    template <class T> T As() const {
        if constexpr (std::is_pointer_v<T>) return static_cast<T>(ptr);
        else if constexpr (std::is_same_v<T, int32_t>) return i32;
        else if constexpr (std::is_same_v<T, int16_t>) return i16;
        else if constexpr (std::is_same_v<T, int8_t>) return i8;
        else if constexpr (std::is_same_v<T, uint8_t>) return u8;
        else if constexpr (std::is_same_v<T, com::GUID>) return guid;
        else return pair;
    }
};

// Calls one method of the server object (itf is its interface pointer) with the slots.
using StubThunk = com::HRESULT (*)(void* itf, StubSlot* slots);

template <class F> struct MemberCall;
template <class C, class... A> struct MemberCall<com::HRESULT (C::*)(A...)> {
    template <com::HRESULT (C::*M)(A...), size_t... I>
    static com::HRESULT Call(void* itf, StubSlot* s, std::index_sequence<I...>) {
        return (static_cast<C*>(itf)->*M)(s[I].template As<A>()...);
    }
    template <com::HRESULT (C::*M)(A...)> static com::HRESULT Invoke(void* itf, StubSlot* s) {
        return Call<M>(itf, s, std::index_sequence_for<A...>{});
    }
};

template <auto M> com::HRESULT StubThunkOf(void* itf, StubSlot* slots) {
    return MemberCall<decltype(M)>::template Invoke<M>(itf, slots);
}

// A failure is the fault code of the call (malformed request, refused allocation, a server
// result that does not fit its buffers); the reply is then not written.
com::HRESULT StubInvoke(void* itf, StubThunk thunk, const ShapeDesc& shape, com::RPCOLEMESSAGE* msg,
                        com::IRpcChannelBuffer* channel, const com::IID& iid);

}  // namespace zent
