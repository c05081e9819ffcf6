"""Solid-block archives written and read in Python (liblzma through the lzma
module), independently of zimbro-pack's C++ writer and reader: runs of
consecutive members whose data, joined, is one raw LZMA1 stream with its
end marker, in the head's data behind method 14's frame; every member of a
run has method 90, general-purpose bit 1 and the 18-byte field 0x5A53
(version, filter, the head's local-header offset, the member's offset in
the joined data) in both headers, and the members after the head have no
data of their own.

write_solid_archive makes archives for the extraction tests (good ones, and
through its overrides the damaged ones a writer would never make);
read_solid_archive is the tests' own reader of the format."""
import lzma
import struct
import zlib

METHOD_STORED, METHOD_DEFLATE, METHOD_SOLID = 0, 8, 90
SOLID_TAG, SOLID_SIZE, SOLID_VERSION = 0x5A53, 18, 1
END_MARKER_FLAG = 0x0002
VERSION_LZMA = 63
# 2020-02-29 13:37:42 in DOS form.
DOS_TIME, DOS_DATE = (13 << 11) | (37 << 5) | (42 // 2), ((2020 - 1980) << 9) | (2 << 5) | 29


def properties(lc, lp, pb, dictionary):
    return bytes([lc + 9 * (lp + 5 * pb)]) + struct.pack("<I", dictionary)


def parse_properties(props):
    """(lc, lp, pb, dictionary) of five property bytes."""
    d = props[0]
    return d % 9, (d // 9) % 5, d // 45, struct.unpack_from("<I", props, 1)[0]


def lzma1_stream(data, lc=3, lp=0, pb=2, dictionary=1 << 16, preset=6):
    filters = [{"id": lzma.FILTER_LZMA1, "preset": preset, "lc": lc, "lp": lp, "pb": pb, "dict_size": dictionary}]
    return lzma.compress(data, format=lzma.FORMAT_RAW, filters=filters)


def solid_field(head_offset, offset_in_block, version=SOLID_VERSION, filter_byte=0):
    return struct.pack("<HHBBQQ", SOLID_TAG, SOLID_SIZE, version, filter_byte, head_offset, offset_in_block)


class Member:
    """One member. block: members with the same block label, one after the
    other, share a stream; None: an ordinary member (method Stored or
    Deflate). Overrides (see write_solid_archive) spoil single fields."""

    def __init__(self, name, data=b"", block=None, method=METHOD_STORED, attributes=0x20, **overrides):
        self.name, self.data, self.block = name, data, block
        self.method, self.attributes, self.overrides = method, attributes, overrides


def write_solid_archive(members, comment=b"", prefix=b"", lc=3, lp=0, pb=2, dictionary=None, preset=6,
                        stream_edit=None):
    """prefix (a stub) and the archive after it, every offset counted from
    the start of prefix as zimbro-pack writes them; and {name: (local
    header offset, data offset)}.
    dictionary: of every block (None: the block's size, at least 4 KiB).
    stream_edit(label, frame_and_stream): a block's head data as stored.
    A member's overrides: crc, size, offset_in_block, head_offset, version,
    filter_byte, flags, central_extra (the central header's solid field)."""
    out = bytearray(prefix)
    central, places = [], {}
    k = 0
    while k < len(members):
        run = [members[k]]
        if members[k].block is not None:
            while k + len(run) < len(members) and members[k + len(run)].block == members[k].block:
                run.append(members[k + len(run)])
        k += len(run)
        if run[0].block is None:
            m = run[0]
            body = m.data if m.method == METHOD_STORED else zlib.compress(m.data, 9)[2:-4]
            central.append(_write_member(out, m, m.method, 0, body, b"", places))
            continue
        joined = b"".join(m.data for m in run)
        size = dictionary or max(4096, len(joined))
        head_data = bytes([9, 20]) + struct.pack("<H", 5) + properties(lc, lp, pb, size) + \
            lzma1_stream(joined, lc, lp, pb, size, preset)
        if stream_edit:
            head_data = stream_edit(run[0].block, head_data)
        head, at = len(out), 0
        for i, m in enumerate(run):
            o = m.overrides
            extra = solid_field(o.get("head_offset", head), o.get("offset_in_block", at), o.get("version", SOLID_VERSION),
                                o.get("filter_byte", 0))
            central.append(_write_member(out, m, METHOD_SOLID, END_MARKER_FLAG, head_data if i == 0 else b"", extra,
                                         places))
            at += len(m.data)
    directory = len(out)
    for record in central:
        out += record
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(central), len(central), len(out) - directory, directory,
                       len(comment)) + comment
    return bytes(out), places


def _write_member(out, m, method, flags, body, extra, places):
    o = m.overrides
    name = m.name.encode("cp1252")
    crc, size = o.get("crc", zlib.crc32(m.data)), o.get("size", len(m.data))
    flags = o.get("flags", flags)
    version = VERSION_LZMA if method == METHOD_SOLID else 20
    fields = struct.pack("<HHHHHIIIHH", version, flags, method, DOS_TIME, DOS_DATE, crc, len(body), size, len(name),
                         len(extra))
    local = len(out)
    out += struct.pack("<I", 0x04034B50) + fields + name + extra
    places[m.name] = (local, len(out))
    out += body
    central_extra = o.get("central_extra", extra)
    fields = fields[:-2] + struct.pack("<H", len(central_extra))
    return struct.pack("<IH", 0x02014B50, (3 << 8) | 63) + fields + struct.pack("<HHHII", 0, 0, 0, m.attributes,
                                                                                  local) + name + central_extra


def read_solid_archive(data):
    """Every member of an archive (a whole installer will do: offsets count
    from the start of data) as dicts with name, method, crc, size, local
    offset, its solid field (head, offset, version, filter) or None, and, for
    block members, the bytes its block's stream gives it. Checks what a
    reader must: the field's running offsets, the head's offset 0, no data
    after the head, each local header after the member before it."""
    end = data.rindex(b"PK\x05\x06")
    count, _, directory = struct.unpack_from("<HII", data, end + 10)
    members, at = [], directory
    for _ in range(count):
        (flags, method, crc, packed, size, n, e, c) = struct.unpack_from("<HH4xIIIHHH", data, at + 8)
        local, = struct.unpack_from("<I", data, at + 42)
        name = data[at + 46:at + 46 + n]
        extra = data[at + 46 + n:at + 46 + n + e]
        ln, le = struct.unpack_from("<HH", data, local + 26)
        members.append({"name": name.decode("cp1252"), "flags": flags, "method": method, "crc": crc,
                        "packed": packed, "size": size, "local": local, "data_at": local + 30 + ln + le,
                        "solid": _find_solid(extra), "local_solid": _find_solid(data[local + 30 + ln:local + 30 + ln + le])})
        at += 46 + n + e + c
    k = 0
    while k < len(members):
        head = members[k]
        if head["method"] != METHOD_SOLID:
            k += 1
            continue
        assert head["solid"] is not None and head["solid"] == head["local_solid"], head["name"]
        head_offset, offset, version, filter_byte = head["solid"]
        assert (head_offset, offset, version, filter_byte) == (head["local"], 0, SOLID_VERSION, 0), head
        run = [head]
        while k + len(run) < len(members) and members[k + len(run)]["method"] == METHOD_SOLID and \
                members[k + len(run)]["solid"][0] == head_offset:
            run.append(members[k + len(run)])
        frame = data[head["data_at"]:head["data_at"] + 9]
        assert frame[2:4] == b"\x05\x00", frame
        lc, lp, pb, dictionary = parse_properties(frame[4:9])
        decoder = lzma.LZMADecompressor(lzma.FORMAT_RAW, filters=[
            {"id": lzma.FILTER_LZMA1, "lc": lc, "lp": lp, "pb": pb, "dict_size": dictionary}])
        joined = decoder.decompress(data[head["data_at"] + 9:head["data_at"] + head["packed"]])
        assert decoder.eof and not decoder.unused_data, head["name"]
        at, following = 0, head["data_at"] + head["packed"]
        for m in run:
            assert m["solid"] == m["local_solid"] and m["solid"][1] == at, m
            assert m["flags"] & END_MARKER_FLAG, m
            if m is not head:
                assert m["packed"] == 0 and m["local"] == following, m
                following = m["data_at"]
            m["block"], m["bytes"] = head_offset, joined[at:at + m["size"]]
            m["dictionary"] = dictionary
            at += m["size"]
        assert at == len(joined), head["name"]
        k += len(run)
    return members


def _find_solid(extra):
    at = 0
    while at + 4 <= len(extra):
        tag, length = struct.unpack_from("<HH", extra, at)
        if tag == SOLID_TAG and length == SOLID_SIZE:
            head, offset = struct.unpack_from("<QQ", extra, at + 6)
            return head, offset, extra[at + 4], extra[at + 5]
        at += 4 + length
    return None
