#include "com/NetworkMarshal.h"

namespace com {
namespace {

class RefusingMarshalService final : public IMarshalService {
public:
    HRESULT MarshalInterface(IUnknown*, REFIID, std::vector<uint8_t>&) override { return E_NOTIMPL; }
    HRESULT UnmarshalInterface(const uint8_t*, size_t, REFIID, void** ppv) override {
        if (ppv) *ppv = nullptr;
        return E_NOTIMPL;
    }
    HRESULT ReleaseMarshalData(const uint8_t*, size_t) override { return E_NOTIMPL; }
};

}  // namespace

IMarshalService* NetworkMarshalService() {
    static RefusingMarshalService service;
    return &service;
}

}  // namespace com
