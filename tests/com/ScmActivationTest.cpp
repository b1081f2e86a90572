// IRemoteSCMActivator on a DCOM server over loopback TCP: a well-formed request is answered with
// the activation properties a peer needs (each interface's result and OBJREF, the exporter's
// OXID, bindings and IRemUnknown); a malformed one is refused with an HRESULT or an NDR fault and
// never reaches the class.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>

#include "com/ActivationProperties.h"
#include "com/Association.h"
#include "com/DcomServer.h"
#include "com/NdrBuild.h"
#include "com/ObjRef.h"
#include "com/RpcError.h"

namespace {

using namespace com;
using Bytes = std::vector<uint8_t>;

const char* kAddress = "127.0.0.160";
const CLSID kClass = MakeGuid(0x0C1A5500, 0x1111, 0x2222, 0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66);
const IID kOther = MakeGuid(0x0C1A5501, 0x1111, 0x2222, 0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66);

class Plain final : public IUnknown {
public:
    HRESULT QueryInterface(REFIID iid, void** ppv) override {
        if (iid != IID_IUnknown) return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return m_refs.Increment(); }
    ULONG Release() override {
        const ULONG n = m_refs.Decrement();
        if (n == 0) delete this;
        return n;
    }

private:
    RefCount m_refs;
};

// Byte offsets in what EncodeActivationPropertiesIn makes for one interface: the OBJREF_CUSTOM's
// 48 bytes, the blob's dwSize and dwReserved, the custom header (16 bytes of serialization
// headers, then its NDR body), then the InstantiationInfo first.
constexpr size_t kDwSize = 48;
constexpr size_t kHeaderBody = 72;
constexpr size_t kTotalSize = kHeaderBody;
constexpr size_t kHeaderSize = kHeaderBody + 4;
constexpr size_t kPropertyCount = kHeaderBody + 16;
constexpr size_t kFirstSize = kHeaderBody + 120;       // pSizes[0], with four properties
constexpr size_t kInstantiation = 208;                  // its serialization headers
constexpr size_t kInstantiationLength = kInstantiation + 8;
constexpr size_t kIidCount = kInstantiation + 16 + 28;  // cIID
constexpr size_t kIidMax = kInstantiation + 16 + 48;

uint32_t Get32(const Bytes& b, size_t at) {
    return uint32_t(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// One serialized property of n zero bytes.
Bytes Serialized(uint32_t n) {
    Bytes out = {1, 0x10, 8, 0, 0xCC, 0xCC, 0xCC, 0xCC, uint8_t(n), uint8_t(n >> 8), 0, 0, 0, 0, 0, 0};
    out.resize(16 + n, 0);
    return out;
}

ActivationRequest Request(std::vector<IID> iids) {
    ActivationRequest q;
    q.clsid = kClass;
    q.iids = std::move(iids);
    q.protseqs = {kTowerTcp};
    return q;
}

class ScmActivation : public ::testing::Test {
protected:
    void SetUp() override {
        server = std::make_unique<DcomServer>(
            kAddress, [this](const CLSID& clsid, const std::vector<IID>& iids, std::vector<ActivationAnswer>& answers) {
                ++activations;
                if (!(clsid == kClass)) return REGDB_E_CLASSNOTREG;
                for (size_t i = 0; i < iids.size(); ++i) {
                    if (iids[i] != IID_IUnknown) continue;
                    answers[i].hr = S_OK;
                    answers[i].itf = ComPtr<IUnknown>(new Plain);
                }
                return S_OK;
            });
        std::string error;
        ASSERT_TRUE(server->Start(0, error)) << error;
        thread = std::thread([this] { server->Run(); });
        resolver = std::make_unique<Association>(kAddress, server->ResolverPort());
    }
    void TearDown() override {
        resolver.reset();
        server->Stop();
        if (thread.joinable()) thread.join();
    }

    struct Outcome {
        bool fault = false;
        uint32_t status = 0;
        bool read = false;
        ScmActivationReply reply;
    };
    Outcome Call(uint16_t opnum, const Bytes& stub) {
        RpcRequest request;
        request.interface = InterfaceSyntax(IID_IRemoteSCMActivator);
        request.opnum = opnum;
        request.stub = stub.data();
        request.stubLength = stub.size();
        RpcReply reply;
        Outcome o;
        EXPECT_EQ(resolver->Call(request, reply), S_OK) << LastRpcErrorText();
        std::unique_ptr<uint8_t, decltype(&std::free)> guard(reply.data, std::free);
        o.fault = reply.fault;
        o.status = reply.faultStatus;
        NdrReader r(reply.data, reply.size, reply.drep);
        o.read = !o.fault && ReadScmActivationReply(r, o.reply);
        return o;
    }
    Outcome Create(const Bytes& properties, uint16_t opnum = kOpRemoteCreateInstance) {
        ScmActivationRequest in;
        in.properties = properties;
        return Call(opnum, BuildNdr([&](NdrWriter& w) { WriteScmActivationRequest(w, in, opnum == kOpRemoteCreateInstance); }));
    }
    // The HRESULT a blob is answered with; a refused blob comes back without properties.
    HRESULT Refusal(const Bytes& properties) {
        const Outcome o = Create(properties);
        EXPECT_TRUE(o.read);
        EXPECT_TRUE(o.reply.properties.empty());
        return o.reply.hr;
    }

    std::unique_ptr<DcomServer> server;
    std::thread thread;
    std::unique_ptr<Association> resolver;
    std::atomic<int> activations{0};
};

TEST_F(ScmActivation, CreateInstanceAnswersEachInterfaceWithTheExportersReference) {
    const std::vector<IID> iids = {kOther, IID_IUnknown};
    // A property this side does not know is passed over.
    const Outcome o = Create(EncodeActivationPropertiesIn(Request(iids), {{CLSID_SpecialSystemProperties, Serialized(64)}}));
    ASSERT_TRUE(o.read);
    ASSERT_EQ(o.reply.hr, S_OK);
    ActivationReply a;
    ASSERT_TRUE(DecodeActivationPropertiesOut(o.reply.properties.data(), o.reply.properties.size(), iids, a));
    EXPECT_EQ(a.results, (std::vector<HRESULT>{E_NOINTERFACE, S_OK}));
    EXPECT_TRUE(a.interfaces[0].empty());
    EXPECT_EQ(a.oxid, server->Exporter().Oxid());
    EXPECT_EQ(a.remUnknown, server->Exporter().RemUnknownIpid());
    EXPECT_EQ(a.version.major, 5);
    EXPECT_EQ(a.version.minor, 7);
    ASSERT_EQ(a.bindings.strings.size(), 1u);
    EXPECT_EQ(a.bindings.strings[0].networkAddress,
              std::string(kAddress) + "[" + std::to_string(server->ExporterPort()) + "]");
    // The reference: five public references, the object's OXID, the resolver as its binding.
    ObjRefStandard ref;
    ASSERT_TRUE(DecodeObjRef(a.interfaces[1].data(), a.interfaces[1].size(), ref));
    EXPECT_EQ(ref.iid, IID_IUnknown);
    EXPECT_EQ(ref.std.cPublicRefs, 5u);
    EXPECT_EQ(ref.std.oxid, a.oxid);
    DualStringArray named;
    ASSERT_TRUE(DecodeBindingUnits(ref.bindings.data(), ref.bindings.size(), ref.securityOffset, named));
    ASSERT_EQ(named.strings.size(), 1u);
    EXPECT_EQ(named.strings[0].networkAddress, std::string(kAddress) + "[" + std::to_string(server->ResolverPort()) + "]");
    EXPECT_EQ(server->ActivationsAnswered(true), 1u);
    EXPECT_EQ(server->ActivationsAnswered(false), 0u);

    // A class the handler does not make: its failure, and no properties.
    ActivationRequest unknown = Request({IID_IUnknown});
    unknown.clsid = kOther;
    EXPECT_EQ(Refusal(EncodeActivationPropertiesIn(unknown)), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(activations, 2);
}

TEST_F(ScmActivation, WhatIsNotServedIsRefusedBeforeTheClassIsAsked) {
    const Bytes good = EncodeActivationPropertiesIn(Request({IID_IUnknown}));
    // No class objects here.
    Outcome o = Create(good, kOpRemoteGetClassObject);
    ASSERT_TRUE(o.read);
    EXPECT_EQ(o.reply.hr, CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_TRUE(o.reply.properties.empty());
    // Activation from a stored object.
    EXPECT_EQ(Refusal(EncodeActivationPropertiesIn(Request({IID_IUnknown}), {{CLSID_InstanceInfo, Serialized(16)}})),
              E_NOTIMPL);
    // Aggregation: a pUnkOuter is given.
    ScmActivationRequest in;
    in.properties = good;
    o = Call(kOpRemoteCreateInstance, BuildNdr([&](NdrWriter& w) {
                 WriteOrpcThis(w, in.orpc);
                 w.InterfacePointer(good.data(), uint32_t(good.size()));
                 w.InterfacePointer(good.data(), uint32_t(good.size()));
             }));
    ASSERT_TRUE(o.read);
    EXPECT_EQ(o.reply.hr, CLASS_E_NOAGGREGATION);
    // The interface's other operations are out of range.
    o = Call(5, BuildNdr([&](NdrWriter& w) { WriteScmActivationRequest(w, in, true); }));
    EXPECT_TRUE(o.fault);
    EXPECT_EQ(o.status, rpc::nca_s_op_rng_error);
    EXPECT_EQ(activations, 0);
}

TEST_F(ScmActivation, MalformedPropertiesAreRefusedAndNeverActivate) {
    const Bytes good = EncodeActivationPropertiesIn(Request({IID_IUnknown}));
    ASSERT_EQ(Get32(good, kPropertyCount), 4u);
    ASSERT_EQ(Get32(good, kIidCount), 1u);
    ASSERT_EQ(Get32(good, kIidMax), 1u);
    const auto changed = [&](size_t at, uint32_t v) {
        Bytes b = good;
        Put32(b, at, v);
        return b;
    };
    const auto iids = [&](uint32_t n) {
        Bytes b = changed(kIidCount, n);
        Put32(b, kIidMax, n);
        return b;
    };
    struct Case {
        const char* what;
        Bytes blob;
    };
    Bytes noInstantiation = good;
    noInstantiation[kHeaderBody + 52] ^= 0xFF;  // the first property's CLSID: no longer InstantiationInfo
    std::vector<std::pair<CLSID, Bytes>> eight;
    for (uint8_t i = 0; i < 7; ++i)
        eight.emplace_back(MakeGuid(0x0C1A5600u + i, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), Serialized(8));
    Bytes trailing = good;  // bytes after the last property, dwSize and totalSize counting them
    trailing.resize(good.size() + 8, 0);
    Put32(trailing, kDwSize, Get32(good, kDwSize) + 8);
    Put32(trailing, kTotalSize, Get32(good, kTotalSize) + 8);
    const Case cases[] = {
        {"no interfaces", iids(0)},
        {"more interfaces than allowed",
         EncodeActivationPropertiesIn(Request(std::vector<IID>(kMaxActivationInterfaces + 1, IID_IUnknown)))},
        {"a count past the IIDs present", iids(kMaxActivationInterfaces)},
        {"interfaces past the property's end", iids(2)},
        {"the IID array's count differs", changed(kIidMax, 2)},
        {"dwSize past the end", changed(kDwSize, Get32(good, kDwSize) + 8)},
        {"dwSize short of the end", changed(kDwSize, Get32(good, kDwSize) - 8)},
        {"totalSize differs from dwSize", changed(kTotalSize, Get32(good, kTotalSize) - 8)},
        {"headerSize inside the header", changed(kHeaderSize, Get32(good, kHeaderSize) - 8)},
        {"headerSize past the end", changed(kHeaderSize, 0xFFFFFFF0u)},
        {"a property larger than the rest", changed(kFirstSize, Get32(good, kFirstSize) + 8)},
        {"a property size that wraps", changed(kFirstSize, 0xFFFFFFF8u)},
        {"sizes that do not add up", changed(kFirstSize, Get32(good, kFirstSize) - 8)},
        {"bytes after the last property", trailing},
        {"an object buffer past its property", changed(kInstantiationLength, 0x10000)},
        {"no properties", changed(kPropertyCount, 0)},
        {"too many properties", EncodeActivationPropertiesIn(Request({IID_IUnknown}), eight)},
        {"a property twice",
         EncodeActivationPropertiesIn(Request({IID_IUnknown}), {{CLSID_ScmRequestInfo, Serialized(8)}})},
        {"no InstantiationInfo", noInstantiation},
        {"not an OBJREF", changed(0, 0)},
        {"a standard OBJREF", changed(4, OBJREF_STANDARD)},
        {"another object's properties", changed(24, 0x00000339)},
        {"an extension", changed(40, 1)},
        {"no properties at all", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Refusal(c.blob), E_INVALIDARG) << c.what;
    // Cut short anywhere.
    for (size_t n = 1; n < good.size(); ++n)
        ASSERT_EQ(Refusal(Bytes(good.begin(), good.begin() + n)), E_INVALIDARG) << n << " bytes";

    // A request whose NDR is malformed is a fault, not an answer.
    Bytes stub = BuildNdr([&](NdrWriter& w) { WriteScmActivationRequest(w, ScmActivationRequest{{}, false, good}, true); });
    Outcome o = Call(kOpRemoteCreateInstance, Bytes(stub.begin(), stub.begin() + 40));
    EXPECT_TRUE(o.fault);
    EXPECT_EQ(o.status, rpc::nca_s_fault_ndr);
    Put32(stub, kOrpcThisSize + 8, uint32_t(good.size() + 1));  // MInterfacePointer's conformance
    o = Call(kOpRemoteCreateInstance, stub);
    EXPECT_TRUE(o.fault);
    EXPECT_EQ(o.status, rpc::nca_s_fault_ndr);

    EXPECT_EQ(activations, 0);
    // The server took none of it amiss.
    o = Create(good);
    ASSERT_TRUE(o.read);
    EXPECT_EQ(o.reply.hr, S_OK);
    EXPECT_EQ(activations, 1);
}

// The client's side: reply properties that do not answer the request exactly are refused.
TEST(ScmActivationReply, PropertiesThatDoNotAnswerTheRequestAreRefused) {
    ActivationReply a;
    a.oxid = 0x1122334455667788;
    a.hasBindings = true;
    a.bindings.strings.push_back({kTowerTcp, "127.0.0.160[4000]"});
    a.remUnknown = kOther;
    a.results = {S_OK, E_NOINTERFACE};
    a.interfaces = {Bytes(64, 0x5A), {}};
    const std::vector<IID> iids = {IID_IUnknown, kOther};
    const Bytes out = EncodeActivationPropertiesOut(a, iids);
    ActivationReply back;
    ASSERT_TRUE(DecodeActivationPropertiesOut(out.data(), out.size(), iids, back));
    EXPECT_EQ(back.oxid, a.oxid);
    EXPECT_EQ(back.remUnknown, a.remUnknown);
    EXPECT_EQ(back.results, a.results);
    EXPECT_EQ(back.interfaces, a.interfaces);
    ASSERT_EQ(back.bindings.strings.size(), 1u);
    EXPECT_EQ(back.bindings.strings[0].networkAddress, "127.0.0.160[4000]");

    EXPECT_FALSE(DecodeActivationPropertiesOut(out.data(), out.size(), {kOther, IID_IUnknown}, back));
    EXPECT_FALSE(DecodeActivationPropertiesOut(out.data(), out.size(), {IID_IUnknown}, back));
    for (size_t n = 0; n < out.size(); ++n)
        ASSERT_FALSE(DecodeActivationPropertiesOut(out.data(), n, iids, back)) << n << " bytes";
    // The request's properties are not a reply's.
    const Bytes in = EncodeActivationPropertiesIn(Request(iids));
    EXPECT_FALSE(DecodeActivationPropertiesOut(in.data(), in.size(), iids, back));
}

}  // namespace
