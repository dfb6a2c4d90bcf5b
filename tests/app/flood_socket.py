#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Another program of the user's flooding the single-instance socket with
20,000 hand-overs of packages that do not exist, on one connection. Exits 0
whatever the socket does with them (it hears the first and cuts the rest).

    flood_socket.py SOCKET
"""
import socket
import sys


def connection(data):
    s = socket.socket(socket.AF_UNIX)
    try:
        s.connect(sys.argv[1])
        s.sendall(data)
        s.shutdown(socket.SHUT_WR)
        while s.recv(65536):
            pass
    except OSError:
        pass
    finally:
        s.close()


connection(b"".join(b"file:///nonexistent/%d.zalmirupdate\n" % i for i in range(20000)))
