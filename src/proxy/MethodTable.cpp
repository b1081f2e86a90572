#include "proxy/MethodTable.h"

#include "proxy/InterfaceTable.h"

namespace zent {

namespace {

#define QOB_METHOD_ENTRY(iface, number, shape, name) {number, ShapeId::shape, #name, &StubThunkOf<&iface::name>},
#define QOB_METHOD_ARRAY(index, iface, ...) \
    constexpr MethodEntry kMethods_##iface[] = {QOB_METHODS_##iface(QOB_METHOD_ENTRY)};
QOB_INTERFACES(QOB_METHOD_ARRAY)
#undef QOB_METHOD_ARRAY
#undef QOB_METHOD_ENTRY

template <size_t N> constexpr bool Numbered(const MethodEntry (&m)[N], uint32_t count) {
    if (N + kBaseMethodCount != count) return false;
    for (size_t i = 0; i < N; ++i)
        if (m[i].number != i + kBaseMethodCount) return false;
    return true;
}

#define QOB_CHECK_METHODS(index, iface, d1, d2, d3, b0, b1, b2, b3, b4, b5, b6, b7, count) \
    static_assert(Numbered(kMethods_##iface, count), #iface ": methods must be numbered 3.." #count " - 1");
QOB_INTERFACES(QOB_CHECK_METHODS)
#undef QOB_CHECK_METHODS

constexpr const MethodEntry* kMethodsByIndex[kInterfaceCount] = {
#define QOB_METHODS_POINTER(index, iface, ...) kMethods_##iface,
    QOB_INTERFACES(QOB_METHODS_POINTER)
#undef QOB_METHODS_POINTER
};

}  // namespace

const MethodEntry* MethodsOf(int index) {
    return index >= 0 && index < kInterfaceCount ? kMethodsByIndex[index] : nullptr;
}

}  // namespace zent
