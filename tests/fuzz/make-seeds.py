#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora into corpus/<target>/, in each
target's input layout (see the comment at the top of its source). The frames
are unit-sim's replies from the transcript of a whole update; the settings
files are ones the program wrote or reads. Run from anywhere; it rewrites
only the seeds it names, so regression inputs added beside them stay."""

import json
import pathlib
import struct

corpus = pathlib.Path(__file__).resolve().parent / "corpus"

# Replies from unit-sim's transcript of a whole update of the shipped product.
BOOT_REPLIES = {  # name: (count the request asks for, the reply as sent)
    "info": (4, "10 02 08 04 23 29 00 67 41 10 03"),
    "model": (2, "10 02 00 02 0F A1 4E 10 03"),
    "erase": (8, "10 02 03 08 00 08 00 00 00 00 00 00 ED 10 03"),
    "row-dle-in-data": (2, "10 02 02 02 00 10 10 EC 10 03"),
    "row-dle-checksum": (2, "10 02 02 02 80 6C 10 10 10 03"),
    "leave": (1, "10 02 05 01 00 FA 10 03"),
    "restart": (0, "10 02 00 00 00 10 03"),
}
READ_REPLY = "13 03 04 0F A1 08 34 9C D3"  # slave 19, registers 20 and 21
WRITE_ECHO = "01 67 00 97 5C 3A 3C FD"  # the boot-entry write of kind G
NOISE = "FF FE F8"  # what unit-sim sends before a reply with noise

SETTINGS = {
    "written-by-the-program": (3, b"[Ports]\r\nCOM1=/dev/pts/3\r\n[Options]\r\nComms_Port=1\r\n"),
    "new-file": (1, b""),
    "byte-order-mark": (7, b"\xef\xbb\xbf[Options]\r\nComms_Port=2\r\n"),
    "line-feeds-and-spaces": (12, b"; bench PC\n[ options ]\n  comms_port = 4 \n\n[Ports]\nCOM4=/dev/ttyUSB0"),
    "no-options-section": (5, b"[Ports]\r\nCOM5=/dev/serial/by-id/usb-0403_6001-if00-port0\r\n"),
    "key-without-value": (9, b"[Options]\rComms_Port=\rOther=x\r[Options]\rComms_Port=8\r"),
}


# A kept-settings file as an interrupted run of unit-sim's model 1105 leaves
# it, and the same with a value no read could give.
KEPT = {
    "format": 1, "unitModel": 1105, "unitVersion": 109,
    "product": "Dosing Controller DC-4 v21.10", "firmwareVersion": 2110,
    "port": "/dev/ttyUSB0", "time": "2026-12-09T10:15:00.123Z",
    "slave17": [1724],
    "slave19": [0 if reg == 29 else 1900 + reg for reg in range(22, 33)],
    "slave20": [2000 + reg for reg in range(7, 29)],
}


def hex_bytes(text):
    return bytes.fromhex(text)


def boot_data(frame):
    """The data of a boot reply: between count and checksum, doubling undone."""
    body = bytearray()
    stuffed = iter(frame[2:-2])
    for byte in stuffed:
        body.append(byte if byte != 0x10 else next(stuffed))
    return bytes(body[2:-1])


def write(target, name, data):
    folder = corpus / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def condition_item(start, start_sequence, end, end_sequence, min_before, min_between, min_after):
    flags = (1 if start_sequence else 0) | (2 if end_sequence else 0)
    return (struct.pack("<BBBBBHHH", flags, len(start), len(start), len(end), len(end),
                        min_before, min_between, min_after) + start + end)


def copy_arguments(max_length, lead, middle, trail, received):
    # item 1, the destination one longer than the limit, the write index at
    # the end of what was received, and a condition set.
    return struct.pack("<HHiiiHHB", 1, max_length, lead, middle, trail, max_length + 1,
                       len(received), 0)


def rx_condition_seed(items, arguments, received, buffer_size=256):
    return bytes([len(items)]) + b"".join(items) + arguments + struct.pack("<H", buffer_size) + received


def main():
    noise = hex_bytes(NOISE)
    for name, (count, frame) in BOOT_REPLIES.items():
        reply = hex_bytes(frame)
        write("fuzz_boot_reply", f"raw-{name}", bytes([0, count]) + reply)
        write("fuzz_boot_reply", f"raw-noise-{name}", bytes([0, count]) + noise + reply)
        # Well formed: command, noise, then the data between count and checksum.
        write("fuzz_boot_reply", f"well-formed-{name}",
              bytes([1, count, reply[2], len(noise)]) + noise + boot_data(reply))

    read_reply = hex_bytes(READ_REPLY)
    write("fuzz_read_reply", "raw-model-and-version", bytes([0, 19, 2]) + read_reply)
    write("fuzz_read_reply", "raw-noise", bytes([0, 19, 2]) + noise + read_reply)
    write("fuzz_read_reply", "well-formed-model-and-version",
          bytes([1, 18, 1, 0]) + struct.pack("<HH", 4001, 2100))

    boot_item = condition_item(b"\x10\x02", True, b"\x10\x03", True, 0, 1, 0)
    info = hex_bytes(BOOT_REPLIES["info"][1])
    write("fuzz_rx_condition", "boot-reply",
          rx_condition_seed([boot_item], copy_arguments(200, 1, -1, -1, info), info))
    read_items = [condition_item(b"\x13", False, b"\x03", False, 0, 1, 8),
                  condition_item(b"\x13", False, b"\x83", False, 0, 1, 4)]
    write("fuzz_rx_condition", "read-reply",
          rx_condition_seed(read_items, copy_arguments(256, 0, -1, -1, read_reply), read_reply))
    echo = noise + hex_bytes(WRITE_ECHO)
    write_items = [condition_item(b"\x01", False, b"\x67", False, 0, 1, 7),
                   condition_item(b"\x01", False, b"\xe7", False, 0, 1, 4)]
    write("fuzz_rx_condition", "write-echo",
          rx_condition_seed(write_items, copy_arguments(256, 0, -1, -1, echo), echo))

    for name, (port, content) in SETTINGS.items():
        write("fuzz_ini_file", name, struct.pack("<H", port) + content)

    write("fuzz_kept_settings", "interrupted-run", json.dumps(KEPT, indent=4).encode())
    commanded = dict(KEPT, slave19=[0x7E59 if i == 7 else v for i, v in enumerate(KEPT["slave19"])])
    write("fuzz_kept_settings", "commit-key-in-register-29", json.dumps(commanded).encode())
    write("fuzz_kept_settings", "another-model", json.dumps(dict(KEPT, unitModel=1104)).encode())


if __name__ == "__main__":
    main()
