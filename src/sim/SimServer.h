// The simulated telephony server's object: one COM identity serving all sixteen interfaces of a
// site. Activation creates one per client; all objects of a site share its state, and an object
// keeps only what belongs to its client (the open membership pair).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "sim/Faults.h"
#include "sim/NotImplBases.h"
#include "sim/Site.h"

namespace sim {

class CSimServer final : public NotImpl_IZentONAI,
                         public NotImpl_IZentPConnectI,
                         public NotImpl_IZentOKLInterface,
                         public NotImpl_IZentAdviseSink,
                         public NotImpl_IZentGet2I,
                         public NotImpl_IZentReAdviseI,
                         public NotImpl_IZentChange2I,
                         public NotImpl_IZentITGTableSetupI,
                         public NotImpl_IZentControlI,
                         public NotImpl_IZentGetI,
                         public NotImpl_IZentChangeI,
                         public NotImpl_IZentDeleteI,
                         public NotImpl_IZentDumpI,
                         public NotImpl_IZentHWConfigI,
                         public NotImpl_IZentITGTrafficDataI,
                         public NotImpl_IZentStatusI {
public:
    // A new object with one reference.
    static CSimServer* Create(std::shared_ptr<Site> site);

    // How activation answers for iid: Present (QueryInterface gives it), Absent (QueryInterface
    // answers E_NOINTERFACE; activation reports that failure) or Empty (QueryInterface answers
    // E_NOINTERFACE, but activation must report success with a null reference).
    InterfaceAnswer ActivationAnswer(const com::IID& iid) const;
    const std::shared_ptr<Site>& GetSite() const { return m_site; }

    com::HRESULT QueryInterface(com::REFIID iid, void** ppv) override;
    com::ULONG AddRef() override { return m_refs.Increment(); }
    com::ULONG Release() override;

    // IZentGetI
    com::HRESULT GetSystemConfig(int32_t* a1, uint8_t* a2) override;
    com::HRESULT GetExtensionList(int32_t* a1, uint8_t* a2) override;
    com::HRESULT GetWorkgroupList(int32_t* a1, uint8_t* a2) override;
    com::HRESULT GetRecordDefinition(uint8_t a1, int32_t* a2, uint8_t* a3) override;
    // IZentChangeI
    com::HRESULT AddExtension(int32_t a1, uint8_t* a2) override;
    com::HRESULT ReplaceExtension(int32_t a1, const uint8_t* a2) override;
    com::HRESULT ReplaceWorkgroup(int32_t a1, const uint8_t* a2) override;
    com::HRESULT AddWorkgroup(int32_t a1, uint8_t* a2) override;
    com::HRESULT ChangeMembership(int32_t a1, const uint8_t* a2) override;
    // IZentDeleteI
    com::HRESULT DeleteExtension(int32_t a1, const uint8_t* a2, int32_t* a3, uint8_t* a4) override;
    com::HRESULT DeleteWorkgroup(int32_t a1, const uint8_t* a2) override;
    // IZentControlI
    com::HRESULT ResetExtension(int32_t a1, const uint8_t* a2, int32_t* a3, uint8_t* a4) override;
    com::HRESULT MailboxShare(int8_t a1, const char* a2, const char* a3, const char* a4) override;
    // IZentITGTableSetupI
    com::HRESULT GetITGTable(int32_t* a1, uint8_t* a2) override;
    com::HRESULT GetLocationCodeLength(int32_t* a1) override;
    // IZentOKLInterface
    com::HRESULT QueryExtDataSize(const char* a1, int32_t* a2) override;
    com::HRESULT ReadExtData(const char* a1, int32_t* a2, const int32_t* a3, uint8_t* a4) override;
    com::HRESULT WriteExtData(const char* a1, int32_t a2, int32_t a3, const uint8_t* a4) override;
    com::HRESULT QueryExtBufferSize(const char* a1, int32_t* a2) override;
    com::HRESULT QueryItemSize(int32_t a1, int32_t a2, int32_t* a3) override;
    com::HRESULT ReadItem(int32_t a1, int32_t a2, int32_t* a3, uint8_t* a4) override;
    com::HRESULT WriteItem(int32_t a1, int32_t a2, int32_t a3, const uint8_t* a4) override;
    // IZentONAI
    com::HRESULT ReadONAData(const char* a1, int32_t* a2, uint8_t* a3) override;
    com::HRESULT WriteONAData(const char* a1, int32_t a2, const uint8_t* a3) override;

private:
    com::HRESULT ExtDataSize(const char* method, const char* number, int32_t* size);
    explicit CSimServer(std::shared_ptr<Site> site);
    ~CSimServer() = default;

    // Runs one call: the delay, the site's lock, the method's fault, the body, the journal.
    // clearOuts empties the out counts when a fault answers instead of the body.
    template <class Body, class Clear>
    com::HRESULT Serve(std::string_view method, Body&& body, Clear&& clearOuts);

    // A membership request that opened a pair and waits for its closing request.
    struct OpenPair {
        std::string group;
        bool add = false;
    };

    com::RefCount m_refs;
    std::shared_ptr<Site> m_site;
    std::optional<OpenPair> m_openPair;
};

}  // namespace sim
