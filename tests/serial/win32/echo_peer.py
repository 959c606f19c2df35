#!/usr/bin/env python3
"""The far end of the Windows serial tests: a pseudo-terminal that echoes like an adapter.

Usage: echo_peer.py LINK
Makes LINK a symbolic link to the slave side of a new pseudo-terminal (Wine maps it as a
COM port) and echoes every byte written there, in packets of 16 bytes a few milliseconds
apart, as a USB converter hands them over. Three byte values steer it instead:
  0xF1  echoed 300 ms late (a wait sees it arrive while it sleeps)
  0xF2  swallowed: no echo at all (a wait runs into its limit)
  0xF3  the terminal is hung up (the device is gone for its user); a fresh one is made
        and LINK points at it, so that later tests open a working port again
  0xF4  swallowed, and the terminal set raw again from this side, as another program
        setting the line up would leave it: a read of the terminal then waits for a byte
        (VMIN 1), whatever read time-outs its user had set
Runs until killed.
"""
import os
import pty
import select
import sys
import time
import tty

LATE = 0xF1
SWALLOW = 0xF2
HANG_UP = 0xF3
RAW_AGAIN = 0xF4
LATE_S = 0.3
PACKET = 16
PACKET_GAP_S = 0.005


def open_terminal(link):
    master, slave = pty.openpty()
    tty.setraw(slave)
    # The slave stays open here too: a pseudo-terminal that nobody holds reads as hung up.
    temporary = link + ".new"
    if os.path.lexists(temporary):
        os.unlink(temporary)
    os.symlink(os.ttyname(slave), temporary)
    os.replace(temporary, link)
    return master, slave


def main():
    link = sys.argv[1]
    master, slave = open_terminal(link)
    late = []  # (due, byte)
    while True:
        timeout = max(0.0, late[0][0] - time.monotonic()) if late else None
        ready, _, _ = select.select([master], [], [], timeout)
        now = time.monotonic()
        while late and late[0][0] <= now:
            os.write(master, bytes([late.pop(0)[1]]))
        if not ready:
            continue
        try:
            data = os.read(master, 4096)
        except OSError:
            data = b""
        if not data:
            time.sleep(0.01)  # nobody on the other side yet
            continue
        echo = bytearray()
        for byte in data:
            if byte == LATE:
                late.append((now + LATE_S, byte))
            elif byte == HANG_UP:
                os.close(master)
                os.close(slave)
                late.clear()
                echo.clear()
                master, slave = open_terminal(link)
                break
            elif byte == RAW_AGAIN:
                tty.setraw(slave)
            elif byte != SWALLOW:
                echo.append(byte)
        for start in range(0, len(echo), PACKET):
            if start:
                time.sleep(PACKET_GAP_S)
            os.write(master, echo[start:start + PACKET])


if __name__ == "__main__":
    main()
