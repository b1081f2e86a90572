// Fault settings of a site: what a test makes the simulated server do wrong on purpose.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "com/Guid.h"
#include "com/HResult.h"

namespace sim {

// How activation answers for one interface.
enum class InterfaceAnswer { Present, Absent, Empty };

// A fixed result for a method: the first `after` calls work, every later one answers `result`.
// With `applied`, the call is carried out first and its answer then replaced by `result`: a
// change whose reply was lost.
struct MethodFault {
    com::HRESULT result = com::E_FAIL;
    uint32_t after = 0;
    bool applied = false;
    bool operator==(const MethodFault&) const = default;
};

inline constexpr uint32_t kMaxDelayMs = 600000;
inline constexpr uint32_t kMaxItgTableBytes = 4096000;  // 10^3 entries of the largest entry size

struct Faults {
    std::map<std::string, MethodFault, std::less<>> methods;  // by method name
    bool recordDefinitionFillsCapacity = false;  // GetRecordDefinition answers the whole capacity
    uint32_t extensionListExtraBytes = 0;        // appended to the extension list (0 < n < L)
    uint32_t workgroupListExtraBytes = 0;        // appended to the workgroup list (0 < n < 4300)
    uint32_t workgroupRecordLength = 0;          // workgroups listed this long, RecordSize too (0: 4300)
    std::map<std::string, InterfaceAnswer, std::less<>> interfaces;  // by interface name, never Present
    std::optional<com::HRESULT> mailboxShareAnswer;  // answer to every opening MailboxShare
    std::optional<uint32_t> itgTableBytes;            // GetITGTable's size: the table cut or padded with zeros
    uint32_t delayMs = 0;                             // before every call
    bool addReplyBlank = false;  // AddExtension answers without the stored record (its bytes zero)
    bool operator==(const Faults&) const = default;
};

// The named methods of the sixteen interfaces (those not called "MethodN"), which take faults.
const std::vector<std::string_view>& NamedMethods();
bool IsNamedMethod(std::string_view name);

// Interface names and identifiers of the sixteen interfaces.
const com::IID* InterfaceIid(std::string_view name);
std::string_view InterfaceName(const com::IID& iid);  // empty when not one of them

std::string_view InterfaceAnswerName(InterfaceAnswer a);
bool ParseInterfaceAnswer(std::string_view text, InterfaceAnswer& out);

// "0x80004005", a decimal value (signed or unsigned 32-bit) or a name such as E_FAIL.
bool ParseHResult(std::string_view text, com::HRESULT& out);
std::string FormatHResult(com::HRESULT hr);  // "0x80004005"

}  // namespace sim
