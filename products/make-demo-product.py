#!/usr/bin/env python3
"""Writes the demonstration product folder md-5: PROC_NUM, RM_NUM, FW_VER and HFile.

The output depends on nothing but this script, so running it again gives the same
bytes. The image stands in for real firmware: it holds unprogrammed (0xFF) rows,
DLE bytes and a DLE ETX pair inside the data, a row whose boot-loader frame
checksum is itself a DLE, and rows that differ from each other, so that a row
written to the wrong address shows up when the unit's memory is compared with it.
"""

import pathlib
import struct

PROCESSOR_NUMBER = 4680
RM_NUMBER = 4001
FIRMWARE_VERSION = 2110

ROW_SIZE = 128
ROW_COUNT = 512
FIRST_SENT_ROW = 16  # rows below address 0x800 are never sent
DLE = 0x10
ETX = 0x03
PROGRAM_COMMAND = 2
PROGRAM_COUNT = 2

ERASED_ROWS = (15, 300)  # unprogrammed flash, one of them inside the sent range
DLE_ROW_STEP = 7  # every seventh row carries DLE bytes in its data
CHECKSUM_DLE_ROW = 101  # its last byte is chosen so that the frame checksum is DLE


def frame_checksum(row, data):
    """Checksum of the program frame that sends this row: the sum of command, count,
    the three address bytes and the data, plus the checksum, is zero modulo 256."""
    address = row * ROW_SIZE
    payload = bytes([address & 0xFF, (address >> 8) & 0xFF, 0x00]) + data
    return (0 - (PROGRAM_COMMAND + PROGRAM_COUNT + sum(payload))) & 0xFF


def filler(row):
    """Deterministic pseudo-random bytes, different for every row."""
    state = 0x2545F491 ^ (row * 0x9E3779B1)
    out = bytearray()
    while len(out) < ROW_SIZE:
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out.append((state >> 16) & 0xFF)
    return out


def make_row(row):
    if row in ERASED_ROWS:
        return bytes([0xFF] * ROW_SIZE)
    data = filler(row)
    address = row * ROW_SIZE
    # The row's own address and number lead it, so no two rows are alike.
    data[0:4] = bytes([address & 0xFF, (address >> 8) & 0xFF, row & 0xFF, row >> 8])
    if row % DLE_ROW_STEP == 0:
        data[40:42] = bytes([DLE, ETX])
        data[64:67] = bytes([DLE, DLE, 0x02])
        data[90] = DLE
    if row == CHECKSUM_DLE_ROW:
        data[-1] = 0
        data[-1] = (frame_checksum(row, bytes(data)) - DLE) & 0xFF
    return bytes(data)


def make_image():
    return b"".join(make_row(row) for row in range(ROW_COUNT))


def check_image(image):
    rows = [image[i : i + ROW_SIZE] for i in range(0, len(image), ROW_SIZE)]
    sent = rows[FIRST_SENT_ROW:]
    erased = bytes([0xFF] * ROW_SIZE)
    assert len(image) == ROW_SIZE * ROW_COUNT
    assert erased in sent, "no unprogrammed row in the sent range"
    assert len(set(sent)) == len(sent), "two sent rows are alike"
    assert any(bytes([DLE, ETX]) in row for row in sent), "no DLE ETX inside the data"
    assert any(
        row != erased and frame_checksum(index, row) == DLE
        for index, row in enumerate(rows)
        if index >= FIRST_SENT_ROW
    ), "no sent row has the checksum DLE"


def main():
    image = make_image()
    check_image(image)
    folder = pathlib.Path(__file__).resolve().parent / "md-5"
    folder.mkdir(exist_ok=True)
    (folder / "PROC_NUM").write_bytes(struct.pack("<H", PROCESSOR_NUMBER))
    (folder / "RM_NUM").write_bytes(struct.pack("<H", RM_NUMBER))
    (folder / "FW_VER").write_bytes(struct.pack("<H", FIRMWARE_VERSION))
    (folder / "HFile").write_bytes(image)
    print(f"Wrote {folder}")


if __name__ == "__main__":
    main()
