// The object exporter's answers to a peer: an object's interfaces handed out by RemQueryInterface2
// name the OXID resolver's address, as the activation's do, not the object's own port.
#include <gtest/gtest.h>

#include "com/DcomIds.h"
#include "com/NdrReader.h"
#include "com/NdrWriter.h"
#include "com/ObjRef.h"
#include "com/ObjectExporter.h"
#include "com/Orpc.h"
#include "com/RemUnknownMessages.h"
#include "com/StringBindings.h"
#include "com/Unknown.h"

namespace {

using namespace com;

class Plain final : public IUnknown {
public:
    HRESULT QueryInterface(REFIID iid, void** ppv) override {
        if (iid != IID_IUnknown) return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return m_refs.Increment(); }
    ULONG Release() override { return m_refs.Decrement(); }  // on the test's stack

private:
    RefCount m_refs;
};

DualStringArray Binding(const std::string& address) {
    DualStringArray d;
    d.strings.push_back(StringBinding{0x07, address});
    return d;
}

TEST(Exporter, RemQueryInterface2NamesTheResolverAndIUnknownIsHandedOut) {
    Plain object;
    {
        ObjectExporter exporter;
        exporter.SetBindings(Binding("127.0.0.5[40001]"));
        exporter.SetResolverBindings(Binding("127.0.0.5[1135]"));
        STDOBJREF held;
        ASSERT_EQ(exporter.Export(&object, IID_IUnknown, 5, held), S_OK);

        RemQueryInterface2Request q;
        q.ipid = held.ipid;
        q.iids = {IID_IUnknown};
        NdrWriter sizing;
        WriteRemQueryInterface2Request(sizing, q);
        std::vector<uint8_t> stub(sizing.Size());
        NdrWriter w(stub.data(), stub.size());
        WriteRemQueryInterface2Request(w, q);
        ASSERT_TRUE(w.Ok());
        RpcCall call;
        call.interface = InterfaceSyntax(IID_IRemUnknown2);
        call.opnum = kOpRemQueryInterface2;
        call.hasObject = true;
        call.object = exporter.RemUnknownIpid();
        call.stub = stub.data();
        call.stubLength = stub.size();
        RpcServerReply reply;
        exporter.Handle(call, reply);
        ASSERT_FALSE(reply.fault) << std::hex << reply.faultStatus;

        NdrReader r(reply.Data(), reply.Size(), rpc::kDrepLittleEndian);
        RemQueryInterface2Reply a;
        ASSERT_TRUE(ReadRemQueryInterface2Reply(r, a, 1));
        ASSERT_EQ(a.results.size(), 1u);
        EXPECT_EQ(a.results[0], S_OK);
        ObjRefStandard ref;
        ASSERT_TRUE(DecodeObjRef(a.interfaces[0].data(), a.interfaces[0].size(), ref));
        DualStringArray named;
        ASSERT_TRUE(DecodeBindingUnits(ref.bindings.data(), ref.bindings.size(), ref.securityOffset, named));
        ASSERT_EQ(named.strings.size(), 1u);
        EXPECT_EQ(named.strings[0].networkAddress, "127.0.0.5[1135]");
    }
    EXPECT_EQ(object.Release(), 0u);  // the exporter let every reference go
}

}  // namespace
