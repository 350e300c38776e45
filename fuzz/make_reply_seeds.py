#!/usr/bin/env python3
"""Writes the seeds of fuzz-replies: one datagram of every reply a controller
sends (docs/protocol.md, sections 2 and 4), built by hand from the document."""
import pathlib
import struct
import sys

MAC = bytes.fromhex("001A4C000000")
TRANSFER = 0x01020304


def item(tag, value):
    return struct.pack(">HH", tag, len(value)) + value


def datagram(msg_type, request_id, *items, flags=0):
    body = b"".join(items)
    return b"ZLNP" + struct.pack(">BBHIHH", 1, msg_type, flags, request_id, len(body), 0) + body


def text(tag, s):
    return item(tag, s.encode())


def u8(tag, v):
    return item(tag, struct.pack(">B", v))


def u16(tag, v):
    return item(tag, struct.pack(">H", v))


def u32(tag, v):
    return item(tag, struct.pack(">I", v))


def ipv4(tag, a):
    return item(tag, bytes(int(p) for p in a.split(".")))


IDENTITY = [text(0x10, "10-00001"), item(0x11, MAC)]
DESCRIPTION = IDENTITY + [
    text(0x12, "Boiler 1"), text(0x13, "Hus 3, floor 5"), text(0x14, "boiler1.site"), text(0x15, "10.20.0.5"),
    ipv4(0x16, "10.20.1.3"), ipv4(0x17, "255.255.0.0"), ipv4(0x18, "10.20.0.1"), ipv4(0x19, "10.20.0.2"),
    u8(0x1A, 0), u8(0x1B, 0), u32(0x1C, 8), item(0x1D, struct.pack(">h", 101)), item(0x1E, struct.pack(">h", 3)),
    text(0x1F, "3.1.0"), u8(0x25, 1), u8(0x26, 1),
]

SEEDS = {
    "search_reply": datagram(0x81, 7, *DESCRIPTION, item(0x60, bytes(range(16))), item(0x62, bytes(range(32)))),
    "search_reply_identity_only": datagram(0x81, 7, *IDENTITY, ipv4(0x16, "10.20.1.3"), u8(0x1B, 1), u32(0x1C, 8),
                                           u8(0x26, 0), item(0x60, bytes(range(16)))),
    "setup_reply_ok": datagram(0x83, 8, u8(0x30, 0), *DESCRIPTION),
    "setup_reply_invalid": datagram(0x83, 8, u8(0x30, 1), u16(0x31, 0x20), *DESCRIPTION),
    "check_reply": datagram(0x84, 9, u8(0x30, 0), *IDENTITY, u32(0x32, 0x05)),
    "mark_reply": datagram(0x85, 10, u8(0x30, 0), *IDENTITY, u8(0x33, 1)),
    "read_reply": datagram(0xA0, 11, u8(0x30, 0), *DESCRIPTION),
    "refused_later": datagram(0x83, 12, u8(0x30, 5), *IDENTITY, u16(0x64, 400)),
    "stale": datagram(0x83, 13, u8(0x30, 4), *IDENTITY, item(0x60, bytes(range(16, 32)))),
    "upgrade_start_reply": datagram(0x90, 14, u8(0x30, 0), *IDENTITY, u32(0x50, TRANSFER), u16(0x53, 1280),
                                    u16(0x54, 64), u32(0x5A, 1000)),
    "upgrade_ack": datagram(0x91, 15, *IDENTITY, u32(0x50, TRANSFER), u32(0x57, 40), item(0x58, bytes([0xA5, 0x0F]))),
    "upgrade_ack_full_map": datagram(0x91, 16, *IDENTITY, u32(0x50, TRANSFER), u32(0x57, 3), item(0x58, b"\xff" * 32)),
    "upgrade_commit_reply": datagram(0x92, 17, u8(0x30, 0), *IDENTITY, u32(0x50, TRANSFER), u32(0x5A, 1000)),
    "upgrade_commit_refused": datagram(0x92, 18, u8(0x30, 1), u16(0x31, 0x52), *IDENTITY, u32(0x50, TRANSFER)),
}

out = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent / "corpus-replies")
out.mkdir(exist_ok=True)
for name, data in SEEDS.items():
    (out / name).write_bytes(data)
print(f"{len(SEEDS)} seeds in {out}")
