#include "server/RecordList.h"

#include "platform/Trace.h"

namespace server {
namespace {

template <class List>
std::optional<List> Cut(typename List::Byte* data, std::size_t n, std::size_t L) {
    const auto count = ExtRecordCount(n, L);
    if (!count) return std::nullopt;
    return List(data, L, *count);
}

template <class List>
std::optional<List> CutGroups(typename List::Byte* data, std::size_t n) {
    const auto L = WorkgroupRecordLength(data, n);
    if (!L) return std::nullopt;
    return List(data, *L, *L ? n / *L : 0);
}

}  // namespace

std::optional<std::size_t> ExtRecordCount(std::size_t n, std::size_t L) {
    if (L == 0 || n % L != 0) {
        platform::Trace("Warning: size of ExtRec got from server is not same as that of definition\n");
        return std::nullopt;
    }
    return n / L;
}

std::optional<std::size_t> WorkgroupRecordLength(const std::uint8_t* data, std::size_t n) {
    if (!data || n == 0) return 0;
    const std::size_t L = ConstWORKGRPREC(data, n).RecordSize();
    if (L == 0 || n % L != 0) {
        platform::Trace("Warning: size of WORKGRPREC got from server is not same as that of definition\n");
        return std::nullopt;
    }
    return L;
}

std::optional<ExtList> CutExtList(std::uint8_t* data, std::size_t n, std::size_t L) {
    return Cut<ExtList>(data, data ? n : 0, L);
}
std::optional<ConstExtList> CutExtList(const std::uint8_t* data, std::size_t n, std::size_t L) {
    return Cut<ConstExtList>(data, data ? n : 0, L);
}
std::optional<WorkgroupList> CutWorkgroupList(std::uint8_t* data, std::size_t n) {
    return CutGroups<WorkgroupList>(data, n);
}
std::optional<ConstWorkgroupList> CutWorkgroupList(const std::uint8_t* data, std::size_t n) {
    return CutGroups<ConstWorkgroupList>(data, n);
}

}  // namespace server
