#!/usr/bin/python3
"""An independent DCE/RPC client: Samba's own client library binds to a zentsim daemon's resolver
in little-endian and then in big-endian byte order, and calls IObjectExporter's ServerAlive,
ServerAlive2 and ResolveOxid2 (an OXID the server never handed out) with stub data in that order.

usage: samba_client.py ADDRESS RESOLVER_PORT
Prints one line per call. Exit 0 when every call was answered as expected, 1 otherwise, 77 when
Samba's Python bindings are missing.
"""
import struct
import sys

try:
    from samba import param
    from samba.dcerpc import base
except ImportError as e:
    print("samba's python bindings are not available: %s" % e)
    sys.exit(77)

IOBJECT_EXPORTER = ("99fcfec4-5260-101b-bbcb-00aa0021347a", 0)
OR_INVALID_OXID = 1910
TOWER_TCP = 7


def main():
    address, port = sys.argv[1], int(sys.argv[2])
    lp = param.LoadParm()
    failures = 0
    for order, option, fmt in (("little-endian", "", "<"), ("big-endian", ",bigendian", ">")):
        try:
            conn = base.ClientConnection("ncacn_ip_tcp:%s[%d%s]" % (address, port, option), IOBJECT_EXPORTER, lp)
            alive = conn.request(3, b"")
            alive2 = conn.request(5, b"")
            # pOxid, cRequestedProtseqs, then the conformant array: its count and one protseq. Read
            # in the wrong byte order the count would not match and the call would be refused.
            stub = struct.pack(fmt + "QH", 0x1234, 1) + b"\0\0" + struct.pack(fmt + "IH", 1, TOWER_TCP)
            resolve = conn.request(4, stub)
        except Exception as e:  # Samba raises its own error types for faults and refused binds
            print("%s: %s" % (order, e))
            failures += 1
            continue
        # The server answers in its own (little-endian) representation.
        status = lambda reply: struct.unpack("<I", reply[-4:])[0] if len(reply) >= 4 else None
        ok = status(alive) == 0 and len(alive2) > 8 and status(alive2) == 0 and status(resolve) == OR_INVALID_OXID
        print("%s: ServerAlive %s, ServerAlive2 %s (%d bytes), ResolveOxid2 %s -> %s" %
              (order, status(alive), status(alive2), len(alive2), status(resolve), "ok" if ok else "WRONG"))
        failures += not ok
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
