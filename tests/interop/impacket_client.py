#!/usr/bin/python3
"""An independent DCOM client: activates the telephony server class on a zentsim daemon twice, with
IRemoteSCMActivator::RemoteCreateInstance (activation properties, as impacket's DCOMConnection
does) and with IActivation::RemoteActivation; through each object it reads the system
configuration and the extension list through IZentGetI by ORPC with impacket's own NDR encoding,
asks the object for IUnknown, pings the object, releases it, and checks that the server then
refuses the reference.

usage: impacket_client.py ADDRESS RESOLVER_PORT OUTDIR [--expire MS | --older]
Writes OUTDIR/scm-sysconfig.bin, OUTDIR/scm-extlist.bin (through the first object),
OUTDIR/activation-sysconfig.bin, OUTDIR/activation-extlist.bin (the second) and OUTDIR/result.txt
("ok" or a reason).
With --expire: activates with RemoteCreateInstance, never pings, waits MS milliseconds, and expects
the server to have released the object (the call then fails with RPC_E_DISCONNECTED).
With --older: the server is one that serves only IActivation: RemoteCreateInstance must be
refused (abstract syntax not supported), and only the second object is used.
Exit 0 when every step worked, 1 otherwise, 77 when impacket is missing.
"""
import os
import sys
import time

try:
    from impacket.dcerpc.v5 import transport
    from impacket.dcerpc.v5.dcomrt import (DCOMCALL, DCOMANSWER, DCOMConnection, IActivation,
                                           IObjectExporter, IRemoteSCMActivator, IRemUnknown, IID,
                                           IID_IRemUnknown, RemQueryInterface)
    from impacket.dcerpc.v5.dtypes import LONG, NULL
    from impacket.dcerpc.v5.ndr import NDRUniConformantArray
    from impacket.dcerpc.v5.rpcrt import RPC_C_AUTHN_LEVEL_NONE, DCERPCException
    from impacket.uuid import string_to_bin, uuidtup_to_bin
except ImportError as e:
    print("impacket is not available: %s" % e)
    sys.exit(77)

CLSID_ZentServer = string_to_bin('65A7FD91-20B8-11D1-A586-00A024582DE0')
IID_IZentGetI = uuidtup_to_bin(('65A7FD93-20B8-11D1-A586-00A024582DE0', '0.0'))


class BYTES(NDRUniConformantArray):
    item = 'c'


class GetSystemConfig(DCOMCALL):
    opnum = 4
    structure = (('length', LONG),)


class GetSystemConfigResponse(DCOMANSWER):
    structure = (('length', LONG), ('data', BYTES), ('ErrorCode', LONG))


class GetExtensionList(DCOMCALL):
    opnum = 5
    structure = (('length', LONG),)


class GetExtensionListResponse(DCOMANSWER):
    structure = (('length', LONG), ('data', BYTES), ('ErrorCode', LONG))


def dce_for(address, port):
    t = transport.DCERPCTransportFactory('ncacn_ip_tcp:%s[%d]' % (address, port))
    dce = t.get_dce_rpc()
    dce.set_auth_level(RPC_C_AUTHN_LEVEL_NONE)
    dce.connect()
    return dce


def call(itf, request):
    resp = itf.request(request, IID_IZentGetI, itf.get_iPid())
    return resp['length'], b''.join(resp['data']), resp['ErrorCode']


def disconnected(e):
    return 'RPC_E_DISCONNECTED' in str(e) or '0x80010108' in str(e).lower()


def activate(address, port, how):
    resolver = dce_for(address, port)
    # impacket's interfaces take the credentials (none here) from the resolver's connection.
    DCOMConnection.PORTMAPS[address] = resolver
    if how == 'scm':
        itf = IRemoteSCMActivator(resolver).RemoteCreateInstance(CLSID_ZentServer, IID_IZentGetI[:16])
    else:
        itf = IActivation(resolver).RemoteActivation(CLSID_ZentServer, IID_IZentGetI[:16])
    itf.get_cinstance().set_auth_level(RPC_C_AUTHN_LEVEL_NONE)
    return itf


def main():
    address, port, outdir = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    expire_ms = int(sys.argv[5]) if len(sys.argv) > 5 and sys.argv[4] == '--expire' else None
    older = len(sys.argv) > 4 and sys.argv[4] == '--older'
    result = os.path.join(outdir, 'result.txt')

    def fail(why):
        with open(result, 'w') as f:
            f.write(why + '\n')
        print(why)
        sys.exit(1)

    if expire_ms is not None:
        itf = activate(address, port, 'scm')
        req = GetSystemConfig()
        req['length'] = 4096
        call(itf, req)  # alive at first
        time.sleep(expire_ms / 1000.0)
        try:
            call(itf, req)
        except DCERPCException as e:
            if not disconnected(e):
                fail('after %d ms without a ping: unexpected error %s' % (expire_ms, e))
        else:
            fail('after %d ms without a ping the server still answered' % expire_ms)
        with open(result, 'w') as f:
            f.write('ok\n')
        print('ok')
        return

    if older:
        try:
            activate(address, port, 'scm')
        except DCERPCException as e:
            if 'abstract_syntax_not_supported' not in str(e):
                fail('scm: refused, but not as an interface not served: %s' % e)
        else:
            fail('scm: an older server activated through IRemoteSCMActivator')

    for how in (('activation',) if older else ('scm', 'activation')):
        try:
            itf = activate(address, port, how)
        except DCERPCException as e:
            fail('%s: the activation failed: %s' % (how, e))
        use(address, port, itf, how, outdir, fail)

    with open(result, 'w') as f:
        f.write('ok\n')
    print('ok')


def use(address, port, itf, how, outdir, fail):
    req = GetSystemConfig()
    req['length'] = 4096
    length, data, hr = call(itf, req)
    if hr != 0 or length != len(data):
        fail('%s: GetSystemConfig: hr %#x, length %d, %d bytes' % (how, hr & 0xffffffff, length, len(data)))
    with open(os.path.join(outdir, how + '-sysconfig.bin'), 'wb') as f:
        f.write(data)

    req = GetExtensionList()
    req['length'] = 1 << 20
    length, data, hr = call(itf, req)
    if hr != 0 or length != len(data):
        fail('%s: GetExtensionList: hr %#x, length %d, %d bytes' % (how, hr & 0xffffffff, length, len(data)))
    with open(os.path.join(outdir, how + '-extlist.bin'), 'wb') as f:
        f.write(data)

    # IUnknown is handed out like any other interface of the object.
    q = RemQueryInterface()
    q['ORPCthis'] = itf.get_cinstance().get_ORPCthis()
    q['ORPCthis']['flags'] = 0
    q['ripid'] = itf.get_iPid()
    q['cRefs'] = 1
    q['cIids'] = 1
    unknown = IID()
    unknown['Data'] = string_to_bin('00000000-0000-0000-C000-000000000046')
    q['iids'].append(unknown)
    resp = itf.request(q, IID_IRemUnknown, itf.get_ipidRemUnknown())
    if resp['ppQIResults']['hResult'] != 0:
        fail('%s: RemQueryInterface for IUnknown: hr %#x' % (how, resp['ppQIResults']['hResult'] & 0xffffffff))

    # The object's OID in a new ping set, then a simple ping of the set.
    resp = IObjectExporter(dce_for(address, port)).ComplexPing(0, 0, [itf.get_oid()], [])
    if resp['ErrorCode'] != 0 or resp['pSetId'] == 0:
        fail('%s: ComplexPing: status %d' % (how, resp['ErrorCode']))
    resp = IObjectExporter(dce_for(address, port)).SimplePing(resp['pSetId'])
    if resp['ErrorCode'] != 0:
        fail('%s: SimplePing: status %d' % (how, resp['ErrorCode']))

    # Release the five references the activation handed out, then the IPID must be gone.
    rem = IRemUnknown(itf)
    for _ in range(5):
        rem.RemRelease()
    try:
        call(itf, GetSystemConfig())
    except DCERPCException as e:
        if not disconnected(e):
            fail('%s: after release: unexpected error %s' % (how, e))
    else:
        fail('%s: after release: the server still answered' % how)


if __name__ == '__main__':
    main()
