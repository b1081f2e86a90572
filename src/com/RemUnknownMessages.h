// IRemUnknown and IRemUnknown2, the remote reference counting and interface queries that every
// object exporter serves, in both directions.
#pragma once

#include <cstdint>
#include <vector>

#include "com/DcomIds.h"
#include "com/HResult.h"
#include "com/ObjRef.h"
#include "com/Orpc.h"

namespace com {

struct REMINTERFACEREF {
    IPID ipid;
    uint32_t cPublicRefs = 0;
    uint32_t cPrivateRefs = 0;
};

struct REMQIRESULT {
    HRESULT hResult = S_OK;
    STDOBJREF std;
};

struct RemQueryInterfaceRequest {
    OrpcThis orpc;
    IPID ipid;
    uint32_t refs = 0;
    std::vector<IID> iids;
};
struct RemQueryInterfaceReply {
    OrpcThat orpc;
    std::vector<REMQIRESULT> results;  // empty: the null pointer
    uint32_t status = 0;
};

struct RemRefsRequest {  // RemAddRef and RemRelease
    OrpcThis orpc;
    std::vector<REMINTERFACEREF> refs;
};
struct RemAddRefReply {
    OrpcThat orpc;
    std::vector<HRESULT> results;
    uint32_t status = 0;
};
struct RemReleaseReply {
    OrpcThat orpc;
    uint32_t status = 0;
};

struct RemQueryInterface2Request {
    OrpcThis orpc;
    IPID ipid;
    std::vector<IID> iids;
};
struct RemQueryInterface2Reply {
    OrpcThat orpc;
    std::vector<HRESULT> results;
    std::vector<std::vector<uint8_t>> interfaces;  // OBJREF bytes; empty = null
    uint32_t status = 0;
};

void WriteRemQueryInterfaceRequest(NdrWriter& w, const RemQueryInterfaceRequest& q);
bool ReadRemQueryInterfaceRequest(NdrReader& r, RemQueryInterfaceRequest& q);
void WriteRemQueryInterfaceReply(NdrWriter& w, const RemQueryInterfaceReply& a);
bool ReadRemQueryInterfaceReply(NdrReader& r, RemQueryInterfaceReply& a, size_t expected);

void WriteRemRefsRequest(NdrWriter& w, const RemRefsRequest& q);
bool ReadRemRefsRequest(NdrReader& r, RemRefsRequest& q);
void WriteRemAddRefReply(NdrWriter& w, const RemAddRefReply& a);
bool ReadRemAddRefReply(NdrReader& r, RemAddRefReply& a, size_t expected);
void WriteRemReleaseReply(NdrWriter& w, const RemReleaseReply& a);
bool ReadRemReleaseReply(NdrReader& r, RemReleaseReply& a);

void WriteRemQueryInterface2Request(NdrWriter& w, const RemQueryInterface2Request& q);
bool ReadRemQueryInterface2Request(NdrReader& r, RemQueryInterface2Request& q);
void WriteRemQueryInterface2Reply(NdrWriter& w, const RemQueryInterface2Reply& a);
bool ReadRemQueryInterface2Reply(NdrReader& r, RemQueryInterface2Reply& a, size_t expected);

}  // namespace com
