// The frame of every call of the simulated server, and small helpers for its buffers. Included
// only by the server object's implementation files.
#pragma once

#include <chrono>
#include <cstring>
#include <mutex>
#include <new>
#include <span>
#include <thread>

#include "sim/SimServer.h"

namespace sim {

template <class Body, class Clear>
com::HRESULT CSimServer::Serve(std::string_view method, Body&& body, Clear&& clearOuts) {
    if (const uint32_t delay = m_site->DelayMs()) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    std::lock_guard lock(m_site->Mutex());
    com::HRESULT hr;
    const std::optional<MethodFault> fault = m_site->CountCall(method);
    if (fault && !fault->applied) {
        clearOuts();
        hr = fault->result;
    } else {
        UndoLog undo;
        try {
            hr = body(m_site->State(), undo);
        } catch (const std::bad_alloc&) {
            undo.Rollback();
            clearOuts();
            hr = com::E_OUTOFMEMORY;
        } catch (...) {
            undo.Rollback();
            clearOuts();
            hr = com::E_UNEXPECTED;
        }
        if (fault) {
            clearOuts();
            hr = fault->result;
        }
    }
    m_site->Journal(method, hr);
    return hr;
}

inline void ClearCount(int32_t* count) {
    if (count) *count = 0;
}

// An out byte array behind an in/out count: the capacity comes in, the filled count goes back.
// A capacity too small for the data answers E_OUTOFMEMORY with nothing filled.
inline com::HRESULT CopyOut(int32_t* count, uint8_t* out, std::span<const uint8_t> data) {
    if (!count || !out) return com::E_POINTER;
    if (*count < 0) {
        *count = 0;
        return com::E_INVALIDARG;
    }
    if (static_cast<std::size_t>(*count) < data.size()) {
        *count = 0;
        return com::E_OUTOFMEMORY;
    }
    if (!data.empty()) std::memcpy(out, data.data(), data.size());
    *count = static_cast<int32_t>(data.size());
    return com::S_OK;
}

// A number passed as a string argument; empty when missing, too long or not printable.
inline std::string NumberArg(const char* text) {
    if (!text) return {};
    std::string number(text, strnlen(text, kMaxNumberLength + 1));
    return IsValidNumber(number) ? number : std::string{};
}

}  // namespace sim
