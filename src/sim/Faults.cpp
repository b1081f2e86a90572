#include "sim/Faults.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "proxy/Interfaces.h"

namespace sim {

namespace {

bool IsPlaceholderName(std::string_view name) {
    if (name.substr(0, 6) != "Method" || name.size() == 6) return false;
    return std::all_of(name.begin() + 6, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

struct InterfaceEntry {
    std::string_view name;
    com::IID iid;
};

#define QOB_SIM_IFACE_ENTRY(index, name, ...) InterfaceEntry{#name, IID_##name},
constexpr InterfaceEntry kInterfaces[] = {QOB_INTERFACES(QOB_SIM_IFACE_ENTRY)};
#undef QOB_SIM_IFACE_ENTRY

struct NamedHr {
    std::string_view name;
    com::HRESULT hr;
};
constexpr NamedHr kHrNames[] = {
    {"S_OK", com::S_OK},
    {"S_FALSE", com::S_FALSE},
    {"E_NOTIMPL", com::E_NOTIMPL},
    {"E_NOINTERFACE", com::E_NOINTERFACE},
    {"E_POINTER", com::E_POINTER},
    {"E_FAIL", com::E_FAIL},
    {"E_UNEXPECTED", com::E_UNEXPECTED},
    {"E_OUTOFMEMORY", com::E_OUTOFMEMORY},
    {"E_INVALIDARG", com::E_INVALIDARG},
    {"E_ACCESSDENIED", com::MakeHr(0x80070005)},
    {"RPC_E_DISCONNECTED", com::RPC_E_DISCONNECTED},
    {"RPC_S_CALL_FAILED", com::RPC_S_CALL_FAILED},
};

}  // namespace

const std::vector<std::string_view>& NamedMethods() {
    static const std::vector<std::string_view> names = [] {
        std::vector<std::string_view> all;
#define QOB_SIM_METHOD_NAME(iface, number, shape, name) all.push_back(#name);
#define QOB_SIM_IFACE_METHODS(index, iface, ...) QOB_METHODS_##iface(QOB_SIM_METHOD_NAME)
        QOB_INTERFACES(QOB_SIM_IFACE_METHODS)
#undef QOB_SIM_IFACE_METHODS
#undef QOB_SIM_METHOD_NAME
        std::erase_if(all, IsPlaceholderName);
        std::sort(all.begin(), all.end());
        all.erase(std::unique(all.begin(), all.end()), all.end());
        return all;
    }();
    return names;
}

bool IsNamedMethod(std::string_view name) {
    const auto& names = NamedMethods();
    return std::binary_search(names.begin(), names.end(), name);
}

const com::IID* InterfaceIid(std::string_view name) {
    for (const InterfaceEntry& e : kInterfaces)
        if (e.name == name) return &e.iid;
    return nullptr;
}

std::string_view InterfaceName(const com::IID& iid) {
    for (const InterfaceEntry& e : kInterfaces)
        if (e.iid == iid) return e.name;
    return {};
}

std::string_view InterfaceAnswerName(InterfaceAnswer a) {
    switch (a) {
    case InterfaceAnswer::Present: return "present";
    case InterfaceAnswer::Absent: return "absent";
    case InterfaceAnswer::Empty: return "empty";
    }
    return "present";
}

bool ParseInterfaceAnswer(std::string_view text, InterfaceAnswer& out) {
    for (InterfaceAnswer a : {InterfaceAnswer::Present, InterfaceAnswer::Absent, InterfaceAnswer::Empty}) {
        if (text == InterfaceAnswerName(a)) {
            out = a;
            return true;
        }
    }
    return false;
}

bool ParseHResult(std::string_view text, com::HRESULT& out) {
    for (const NamedHr& n : kHrNames) {
        if (n.name == text) {
            out = n.hr;
            return true;
        }
    }
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        uint32_t v = 0;
        auto [p, ec] = std::from_chars(text.data() + 2, text.data() + text.size(), v, 16);
        if (ec != std::errc() || p != text.data() + text.size()) return false;
        out = com::MakeHr(v);
        return true;
    }
    int64_t v = 0;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || p != text.data() + text.size()) return false;
    if (v < INT32_MIN || v > int64_t(UINT32_MAX)) return false;
    out = com::MakeHr(static_cast<uint32_t>(v));
    return true;
}

std::string FormatHResult(com::HRESULT hr) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<uint32_t>(hr));
    return buf;
}

}  // namespace sim
