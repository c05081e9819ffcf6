"""Writes archives with solid blocks for the stub's tests, written here from
the format's description and independent of the packer: runs of members
whose data, end to end, are one raw LZMA stream (liblzma through Python's
lzma), carried as the data of the run's first member.

Every member of a block: method 90, general-purpose bit 1 (the stream has
its end marker), and the solid record in both headers (ID 0x5A53, 18 bytes:
version 1, the filter, the head's local-header offset, the member's offset
in the block's uncompressed stream). The head's data: two version bytes,
the properties' size (5), the five property bytes, the raw stream. The other
members have no data; their local headers follow the stream.

A test spoils what it needs through the keyword arguments."""
import struct
import zlib

import lzma_streams

SOLID_METHOD = 90
SOLID_RECORD = 0x5A53
END_MARKER = 0x0002
DOS_TIME = (0x6B9D, 0x5025)  # 13:28:58 on 2020-01-05, (time, date)
VERSION = bytes([9, 20])


class Block:
    """A run of (name, data) members in one stream. Spoilers: props (other
    property bytes), filter, flip (an offset into the raw stream whose byte
    is flipped), cut (the raw stream cut to this many bytes), crc_of (name:
    CRC stored wrong), place_of (name: offset in block stored wrong)."""

    def __init__(self, members, dictionary=1 << 16, **spoil):
        self.members = members
        self.dictionary = dictionary
        self.spoil = spoil

    def stream(self):
        raw = lzma_streams.raw_stream(b"".join(data for _, data in self.members), 3, 0, 2, self.dictionary)
        raw = bytearray(raw)
        if "flip" in self.spoil:
            raw[self.spoil["flip"]] ^= 0x55
        if "cut" in self.spoil:
            raw = raw[:self.spoil["cut"]]
        props = self.spoil.get("props", lzma_streams.properties(3, 0, 2, self.dictionary))
        return VERSION + struct.pack("<H", 5) + props + bytes(raw)


def _local(name, method, flags, crc, csize, usize, extra):
    return struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method, DOS_TIME[0], DOS_TIME[1], crc, csize, usize,
                       len(name), len(extra)) + name + extra


def _central(name, method, flags, crc, csize, usize, extra, offset):
    return struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, flags, method, DOS_TIME[0], DOS_TIME[1], crc, csize,
                       usize, len(name), len(extra), 0, 0, 0, 0x20, offset) + name + extra


def solid_archive(parts):
    """parts: Block objects and plain (name, data) members, stored. The
    archive's bytes, members in the order given."""
    body, central = bytearray(), bytearray()

    def add(name, method, flags, crc, data, usize, extra_of):
        offset = len(body)
        extra = extra_of(offset)
        body.extend(_local(name, method, flags, crc, len(data), usize, extra) + data)
        central.extend(_central(name, method, flags, crc, len(data), usize, extra, offset))
        return offset

    count = 0
    for part in parts:
        if not isinstance(part, Block):
            name, data = part
            add(name.encode(), 0, 0, zlib.crc32(data), data, len(data), lambda offset: b"")
            count += 1
            continue
        head, place = None, 0
        for index, (name, data) in enumerate(part.members):
            crc = zlib.crc32(data) ^ (1 if part.spoil.get("crc_of") == name else 0)
            stored_place = place + (7 if part.spoil.get("place_of") == name else 0)

            def extra_of(offset, stored_place=stored_place):
                return struct.pack("<HHBBQQ", SOLID_RECORD, 18, 1, part.spoil.get("filter", 0),
                                   offset if head is None else head, stored_place)

            offset = add(name.encode(), SOLID_METHOD, END_MARKER, crc, part.stream() if index == 0 else b"",
                         len(data), extra_of)
            if head is None:
                head = offset
            place += len(data)
            count += 1
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(central), len(body), 0)
    return bytes(body + central + end)
