#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Another program of the user's flooding the single-instance socket:
20,000 hand-overs of packages that do not exist, on one connection.

    flood_socket.py SOCKET
"""
import socket
import sys

s = socket.socket(socket.AF_UNIX)
s.connect(sys.argv[1])
s.sendall(b"".join(b"file:///nonexistent/%d.zalmirupdate\n" % i for i in range(20000)))
s.shutdown(socket.SHUT_WR)
while s.recv(65536):
    pass
