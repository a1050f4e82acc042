#!/usr/bin/env python3
"""Holds a pseudo-terminal open for the program under test to use as its
serial port: prints the path of the slave side, then reads and discards
whatever the program sends until it is ended."""
import os
import select
import sys

master, slave = os.openpty()
print(os.ttyname(slave), flush=True)
while True:
    readable, _, _ = select.select([master], [], [])
    try:
        os.read(master, 4096)
    except OSError:
        pass
