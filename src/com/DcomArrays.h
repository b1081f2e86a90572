// The arrays several DCOM messages share, in their NDR form.
#pragma once

#include <cstdint>
#include <vector>

#include "com/HResult.h"
#include "com/NdrReader.h"
#include "com/NdrWriter.h"

namespace com {

// The largest OBJREF accepted inside a message.
constexpr uint32_t kMaxObjRefSize = 64 * 1024;

// A conformant array of unique pointers to MInterfacePointer: the pointers, then the referents
// (an empty entry is the null pointer). Reading needs exactly `expected` entries.
void WriteInterfacePointers(NdrWriter& w, const std::vector<std::vector<uint8_t>>& objrefs, uint32_t firstReferent);
bool ReadInterfacePointers(NdrReader& r, size_t expected, std::vector<std::vector<uint8_t>>& objrefs);

// A conformant array of HRESULTs; reading needs exactly `expected` of them.
void WriteHResults(NdrWriter& w, const std::vector<HRESULT>& v);
bool ReadHResults(NdrReader& r, size_t expected, std::vector<HRESULT>& out);

// A protocol sequence list: the short count, then the conformant array of shorts.
void WriteProtseqs(NdrWriter& w, const std::vector<uint16_t>& protseqs);
bool ReadProtseqs(NdrReader& r, std::vector<uint16_t>& out);

}  // namespace com
