#!/usr/bin/python3
"""Loopback stand-in for the dealer's code server: a real FTP server (pyftpdlib) with the
tool's account, serving a folder of code files, active mode as the tool uses it.

    codeserver.py DIR [--port N] [--make FB:NUMBER ...] [--size BYTES]

--make writes a code file for each order into DIR first (the name the wizard asks for:
device-type prefix + number + ".hex"), starting at 1000 as the remote expects.
Prints the port it listens on (127.0.0.1 only) as the first line on stdout.
"""

import argparse
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

USER, PASSWORD = "ftpHEX", "47_qmr&cd$83"
PREFIXES = {"00": "PQT_", "01": "PQV_", "02": "PQD_", "03": "PQS_", "04": "PQC1_", "05": "PQC2_"}


def code_file(seed, size):
    """Data records (type 20) of 16 bytes from 1000 on, then the end record."""
    lines = []
    for address in range(0x1000, 0x1000 + size, 16):
        data = [(seed * 31 + address // 16 + i * 7) & 0xFF for i in range(16)]
        total = 0x10 + (address >> 8) + (address & 0xFF) + 0x20 + sum(data)
        lines.append(":10%04X20%s%02X" % (address, "".join("%02X" % b for b in data),
                                          (256 - total % 256) % 256))
    lines.append(":00000001FF")
    return "\r\n".join(lines) + "\r\n"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("dir")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--make", action="append", default=[])
    ap.add_argument("--size", type=lambda s: int(s, 0), default=0x2000)
    args = ap.parse_args()
    os.makedirs(args.dir, exist_ok=True)
    for spec in args.make:
        fb, _, number = spec.partition(":")
        name = PREFIXES.get(fb, "") + number + ".hex"
        with open(os.path.join(args.dir, name), "w", newline="") as f:
            f.write(code_file(int(number or "0") % 251, args.size))

    auth = DummyAuthorizer()
    auth.add_user(USER, PASSWORD, args.dir, perm="elr")
    handler = FTPHandler
    handler.authorizer = auth
    handler.banner = "Corvana code server ready."
    server = FTPServer(("127.0.0.1", args.port), handler)
    print(server.address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
