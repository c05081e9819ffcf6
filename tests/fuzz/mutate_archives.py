#!/usr/bin/env python3
"""Hostile archives for the stub: seeds made by independent tools, and
mutations of them that a damaged download or an attacker could produce.

  mutate_archives.py seeds SEEDDIR [--stub STUB --packer PACKER]
      Makes the seed archives: Debian's zip, 7-Zip (Deflate, Deflate64 and
      LZMA among them), Python's zipfile, a solid block by the tests' own
      writer and, when given, zimbro-pack (its output without the stub in
      front: Deflate, LZMA and --solid).
  mutate_archives.py mutate SEEDDIR OUTDIR COUNT RANDOMSEED
      Writes COUNT mutated archives into OUTDIR, named NNNNNN-kind.zip, and
      OUTDIR/list.txt with their paths. The same arguments give the same
      archives, byte for byte.

Mutations: bit flips; truncations (anywhere and at record edges); header
fields set to extremes (sizes, counts, offsets, name, extra and comment
lengths, methods, flags, versions, attributes); offsets that overlap other
records or point back into the directory; archives built around deep,
long and reserved names; and Zip64 records and extra fields with absurd,
overflowing or missing values."""
import io
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

# The unseekable stream of the extraction tests' archives, so that both make
# the same streamed form.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "zip"))
from make_test_archives import NoSeek  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
import solid_writer  # noqa: E402

# ---------------------------------------------------------------------------
# Seeds
# ---------------------------------------------------------------------------

SCRIPT = b"Title=Fuzz seed\r\nText=A seed of the hostile-archive run.\r\nOverwrite=1\r\n"


def seed_tree(folder):
    rng = random.Random(1)
    files = {
        "readme.txt": b"Seed archive for the hostile-archive run.\r\n" * 20,
        "data/random.bin": bytes(rng.getrandbits(8) for _ in range(3000)),
        "data/deep/er/nested.txt": b"nested\n" * 50,
        "empty.txt": b"",
        "mixed.bin": (b"abcabcabd" * 200) + bytes(rng.getrandbits(8) for _ in range(500)),
    }
    for name, data in files.items():
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    os.makedirs(os.path.join(folder, "emptydir"), exist_ok=True)
    # A fixed time: the same seeds, and so the same mutations, at every run.
    for root, dirs, names in os.walk(folder):
        for name in dirs + names:
            os.utime(os.path.join(root, name), (1582983462, 1582983462))
    return files


def far_bytes():
    """Random bytes, an echo of 20,000 of them from 40,000 back, then a run of
    70,000: matches farther than Deflate's window and longer than its
    longest."""
    rng = random.Random(2)
    data = bytes(rng.getrandbits(8) for _ in range(40000))
    return data + data[-40000:-20000] + b"z" * 70000


def python_seed(path, method, names, comment=SCRIPT, stream=False, utf8=False, zip64=False):
    buffer = io.BytesIO()

    target = NoSeek() if stream else buffer
    with zipfile.ZipFile(target, "w", method) as z:
        for name, data in names:
            info = zipfile.ZipInfo(name, (2020, 2, 29, 13, 37, 42))
            info.compress_type = method
            if utf8:
                info.flag_bits |= 0x800
            if stream or zip64:
                with z.open(info, "w", force_zip64=zip64) as w:
                    w.write(data)
            else:
                z.writestr(info, data)
        z.comment = comment
    data = bytes(target.data) if stream else buffer.getvalue()
    with open(path, "wb") as f:
        f.write(data)


def make_seeds(seed_dir, stub=None, packer=None):
    # Made once: the encrypted seed differs at every making (its header is
    # random), and the fixed sample of the tests must stay the same.
    stamp = os.path.join(seed_dir, ".made")
    if os.path.exists(stamp) and os.path.getmtime(stamp) > os.path.getmtime(__file__):
        return
    os.makedirs(seed_dir, exist_ok=True)
    work = tempfile.mkdtemp(prefix="zimbro-seeds-")
    try:
        tree = os.path.join(work, "tree")
        files = seed_tree(tree)
        script = os.path.join(work, "script.txt")
        with open(script, "wb") as f:
            f.write(SCRIPT)
        for level in ("0", "6"):
            out = os.path.join(seed_dir, "zip-%s.zip" % level)
            if os.path.exists(out):
                os.remove(out)
            subprocess.run(["zip", "-q", "-r", "-X", "-" + level, out, "."], cwd=tree, check=True)
            subprocess.run(["zip", "-q", "-z", out], input=SCRIPT, check=True)
        # Zip64 forced on small files: end record, locator and extra fields.
        out = os.path.join(seed_dir, "zip-fz.zip")
        if os.path.exists(out):
            os.remove(out)
        # (The comment in the same run: adding it later drops the Zip64 records.)
        subprocess.run(["zip", "-q", "-r", "-X", "-fz", "-z", out, "."], cwd=tree, input=SCRIPT, check=True)
        out = os.path.join(seed_dir, "zip-stream.zip")
        with open(out, "wb") as f:
            subprocess.run(["zip", "-q", "-r", "-X", "-", "."], cwd=tree, stdout=f, check=True)
        out = os.path.join(seed_dir, "zip-crypt.zip")
        if os.path.exists(out):
            os.remove(out)
        subprocess.run(["zip", "-q", "-X", "-P", "secret", out, "readme.txt"], cwd=tree, check=True)
        out = os.path.join(seed_dir, "7z-mx5.zip")
        if os.path.exists(out):
            os.remove(out)
        subprocess.run(["7zz", "a", "-tzip", "-mx=5", out] + sorted(os.listdir(tree)), cwd=tree,
                       check=True, stdout=subprocess.DEVNULL)
        # LZMA members: 7-Zip's without the end marker, zipfile's with it.
        out = os.path.join(seed_dir, "7z-lzma.zip")
        if os.path.exists(out):
            os.remove(out)
        subprocess.run(["7zz", "a", "-tzip", "-mm=LZMA:eos=off", out] + sorted(os.listdir(tree)), cwd=tree,
                       check=True, stdout=subprocess.DEVNULL)
        # Deflate64, and LZMA with a 4 KiB dictionary and lc, lp, pb away
        # from their defaults, each with one more member that reaches back
        # past 32 KiB (and so past that dictionary many times) and holds a
        # long run: the distances and lengths only these methods have.
        far = os.path.join(work, "far.bin")
        with open(far, "wb") as f:
            f.write(far_bytes())
        os.utime(far, (1582983462, 1582983462))
        for name, method in (("7z-deflate64.zip", "-mm=Deflate64"), ("7z-lzma-small.zip", "-mm=LZMA:d=4k:lc=1:lp=2:pb=1")):
            out = os.path.join(seed_dir, name)
            if os.path.exists(out):
                os.remove(out)
            subprocess.run(["7zz", "a", "-tzip", method, out] + sorted(os.listdir(tree)) + [far], cwd=tree,
                           check=True, stdout=subprocess.DEVNULL)
        members = sorted(files.items())
        python_seed(os.path.join(seed_dir, "py-lzma.zip"), zipfile.ZIP_LZMA, members)
        python_seed(os.path.join(seed_dir, "py-stored.zip"), zipfile.ZIP_STORED, members)
        python_seed(os.path.join(seed_dir, "py-deflate.zip"), zipfile.ZIP_DEFLATED,
                    [("emptydir/", b"")] + members)
        python_seed(os.path.join(seed_dir, "py-stream.zip"), zipfile.ZIP_DEFLATED, members, stream=True)
        python_seed(os.path.join(seed_dir, "py-zip64.zip"), zipfile.ZIP_DEFLATED, members, zip64=True)
        python_seed(os.path.join(seed_dir, "py-utf8.zip"), zipfile.ZIP_DEFLATED,
                    [("caf\u00e9/na\u00efve.txt", b"utf-8 name\n"), ("\u65e5\u672c/\u8a9e.txt", b"cjk\n"),
                     ("plain.txt", b"plain\n")], utf8=True)
        python_seed(os.path.join(seed_dir, "py-many.zip"), zipfile.ZIP_STORED,
                    [("m/%02d.txt" % i, b"member %d\n" % i) for i in range(70)])
        # A solid block by the tests' own writer of them.
        solid, _ = solid_writer.write_solid_archive(
            [solid_writer.Member(name, data, block=1) for name, data in members] +
            [solid_writer.Member("after.txt", b"after the block\n")], comment=SCRIPT)
        with open(os.path.join(seed_dir, "py-solid.zip"), "wb") as f:
            f.write(solid)
        if stub and packer and os.path.exists(stub) and os.path.exists(packer):
            out = os.path.join(work, "packed.exe")
            subprocess.run([packer, "-o", out, "--stub", stub, "--script", script, "--mtime", "2020-02-29",
                            tree], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            packed = open(out, "rb").read()
            # Offsets count the stub in front, which the runner puts back.
            with open(os.path.join(seed_dir, "pack.zip"), "wb") as f:
                f.write(packed[os.path.getsize(stub):])
            # The packer's LZMA members: it keeps LZMA where LZMA is the
            # smallest, which the far member makes sure of.
            lzma_tree = os.path.join(work, "lzma-tree")
            shutil.copytree(tree, lzma_tree)
            shutil.copy2(far, lzma_tree)
            subprocess.run([packer, "-o", out, "--stub", stub, "--script", script, "--mtime", "2020-02-29",
                            "--method", "lzma", lzma_tree], check=True, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            packed = open(out, "rb").read()
            with open(os.path.join(seed_dir, "pack-lzma.zip"), "wb") as f:
                f.write(packed[os.path.getsize(stub):])
            subprocess.run([packer, "-o", out, "--stub", stub, "--script", script, "--mtime", "2020-02-29",
                            "--solid", tree], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            packed = open(out, "rb").read()
            with open(os.path.join(seed_dir, "pack-solid.zip"), "wb") as f:
                f.write(packed[os.path.getsize(stub):])
    finally:
        shutil.rmtree(work, ignore_errors=True)
    open(stamp, "w").close()


# ---------------------------------------------------------------------------
# Structure of a seed
# ---------------------------------------------------------------------------

# (offset, format) of the fields worth pushing to extremes.
END_FIELDS = [(4, "<H"), (6, "<H"), (8, "<H"), (10, "<H"), (12, "<I"), (16, "<I"), (20, "<H")]
CENTRAL_FIELDS = [(4, "<B"), (5, "<B"), (6, "<B"), (7, "<B"), (8, "<H"), (10, "<H"), (12, "<H"), (14, "<H"),
                  (16, "<I"), (20, "<I"), (24, "<I"), (28, "<H"), (30, "<H"), (32, "<H"), (38, "<I"),
                  (42, "<I")]
LOCAL_FIELDS = [(4, "<H"), (6, "<H"), (8, "<H"), (10, "<H"), (12, "<H"), (14, "<I"), (18, "<I"), (22, "<I"),
                (26, "<H"), (28, "<H")]


class Layout:
    """Where the records of an archive lie, as far as they can be found."""

    def __init__(self, data):
        self.end = data.rfind(b"PK\x05\x06")
        self.centrals, self.locals = [], []
        if self.end < 0 or self.end + 22 > len(data):
            self.end = -1
            return
        count, size, offset = struct.unpack_from("<HII", data, self.end + 10)
        directory_end = self.end
        # A Zip64 end record right in front of its locator holds the real ones.
        self.locator = self.end - 20 if data[self.end - 20:self.end - 16] == b"PK\x06\x07" else -1
        self.zip64_end = -1
        if self.locator >= 56 and data[self.locator - 56:self.locator - 52] == b"PK\x06\x06":
            self.zip64_end = directory_end = self.locator - 56
            count, size, offset = struct.unpack_from("<QQQ", data, self.zip64_end + 32)
        self.extras = []  # (start, length) of every extra field found
        # Offsets that count bytes in front of the archive (a packed seed).
        shift = directory_end - (offset + size)
        pos = offset + shift
        for _ in range(count):
            if pos < 0 or pos + 46 > len(data) or data[pos:pos + 4] != b"PK\x01\x02":
                break
            self.centrals.append(pos)
            n, e, c = struct.unpack_from("<HHH", data, pos + 28)
            self.extras.append((pos + 46 + n, e))
            local = struct.unpack_from("<I", data, pos + 42)[0] + shift
            if 0 <= local and local + 30 <= len(data) and data[local:local + 4] == b"PK\x03\x04":
                n2, e2 = struct.unpack_from("<HH", data, local + 26)
                self.extras.append((local + 30 + n2, e2))
                csize = struct.unpack_from("<I", data, pos + 20)[0]
                self.locals.append((local, local + 30 + n2 + e2, csize))
            pos += 46 + n + e + c
        self.shift = shift

    def edges(self):
        points = [self.end] if self.end >= 0 else []
        points += self.centrals
        for local, data_start, _ in self.locals:
            points += [local, data_start]
        return points


def extremes(fmt, data_length, rng):
    bits = struct.calcsize(fmt) * 8
    top = (1 << bits) - 1
    values = [0, 1, top, top - 1, top >> 1, (top >> 1) + 1, rng.randrange(top + 1)]
    if bits == 32:
        values += [data_length, data_length + 1, data_length - 1, 0xFFFF, 0x10000, rng.randrange(data_length + 1)]
    if bits == 16:
        values += [260, 259, 256, 1000, 65535, rng.randrange(min(top, data_length) + 1)]
    return rng.choice(values)


def put(data, at, fmt, value):
    if 0 <= at and at + struct.calcsize(fmt) <= len(data):
        struct.pack_into(fmt, data, at, value)


# ---------------------------------------------------------------------------
# Mutations: each takes (bytearray, Layout, rng) and changes the bytes
# ---------------------------------------------------------------------------


def flip_bits(data, layout, rng):
    for _ in range(rng.choice((1, 1, 2, 3, 8))):
        if layout.edges() and rng.random() < 0.6:
            # Near a record: the headers carry most of the meaning.
            at = rng.choice(layout.edges()) + rng.randrange(48)
        else:
            at = rng.randrange(len(data))
        if at < len(data):
            data[at] ^= 1 << rng.randrange(8)
    return data


def flip_member_data(data, layout, rng):
    if not layout.locals:
        return flip_bits(data, layout, rng)
    _, start, size = rng.choice(layout.locals)
    for _ in range(rng.choice((1, 2, 4))):
        at = start + rng.randrange(max(size, 1))
        if at < len(data):
            data[at] ^= rng.randrange(1, 256)
    return data


def truncate(data, layout, rng):
    if layout.edges() and rng.random() < 0.5:
        cut = rng.choice(layout.edges()) + rng.randrange(-3, 50)
    else:
        cut = rng.randrange(len(data))
    return data[:max(0, min(cut, len(data) - 1))]


def extreme_field(data, layout, rng):
    for _ in range(rng.choice((1, 1, 2, 3))):
        kind = rng.random()
        if kind < 0.3 and layout.end >= 0:
            at, fmt = rng.choice(END_FIELDS)
            put(data, layout.end + at, fmt, extremes(fmt, len(data), rng))
        elif kind < 0.7 and layout.centrals:
            at, fmt = rng.choice(CENTRAL_FIELDS)
            put(data, rng.choice(layout.centrals) + at, fmt, extremes(fmt, len(data), rng))
        elif layout.locals:
            at, fmt = rng.choice(LOCAL_FIELDS)
            put(data, rng.choice(layout.locals)[0] + at, fmt, extremes(fmt, len(data), rng))
    return data


def method_and_flags(data, layout, rng):
    targets = [(c, 10, 8) for c in layout.centrals] + [(l[0], 8, 6) for l in layout.locals]
    if not targets:
        return flip_bits(data, layout, rng)
    for _ in range(rng.choice((1, 2))):
        record, method_at, flags_at = rng.choice(targets)
        if rng.random() < 0.5:
            put(data, record + method_at, "<H", rng.choice((1, 6, 9, 12, 14, 93, 98, 99, 0xFFFF, 0, 8)))
        else:
            flags = struct.unpack_from("<H", data, record + flags_at)[0]
            put(data, record + flags_at, "<H", flags ^ rng.choice((0x1, 0x8, 0x800, 0x40, 0x2000, 0xFFFF)))
    return data


def overlap_offsets(data, layout, rng):
    """Offsets that point at other records: members sharing data, a member
    inside the directory, the directory inside itself or at the end."""
    if not layout.centrals or layout.end < 0:
        return flip_bits(data, layout, rng)
    shift = layout.shift
    choice = rng.randrange(6)
    central = rng.choice(layout.centrals)
    if choice == 0 and len(layout.locals) > 1:  # two members, one local header
        other = rng.choice(layout.locals)[0] - shift
        put(data, central + 42, "<I", other)
    elif choice == 1:  # a local offset at a central header
        put(data, central + 42, "<I", rng.choice(layout.centrals) - shift)
    elif choice == 2:  # a local offset at the end record
        put(data, central + 42, "<I", layout.end - shift)
    elif choice == 3:  # the directory starts at one of its later headers, or at itself
        put(data, layout.end + 16, "<I", rng.choice(layout.centrals) - shift)
    elif choice == 4:  # a directory larger than the file, many entries
        put(data, layout.end + 12, "<I", len(data) * rng.choice((2, 100)))
        put(data, layout.end + 10, "<H", rng.choice((len(layout.centrals) + 1, 65535)))
    else:  # a local header whose sizes run over the directory
        if layout.locals:
            local = rng.choice(layout.locals)[0]
            put(data, local + 18, "<I", len(data) - local + rng.randrange(64))
            put(data, local + 6, "<H", struct.unpack_from("<H", data, local + 6)[0] & ~0x8)
    return data


# Names that must be refused, or created without leaving the destination.
NAMES = [
    "../up.txt", "a/../../up2.txt", "..\\up3.txt", "/abs.txt", "\\abs2.txt", "C:abs3.txt", "C:/abs4.txt",
    "\\\\server\\share\\x.txt", ". ./x.txt", "CON", "nul.txt", "aux.tar.gz", "Com1", "lpt9.log", "prn ",
    "trailing.", "trailing ", "dir./x.txt", "dir /x.txt", "a:stream", "x" * 255, "y" * 256, "d" * 300,
    "/".join(["deep"] * 60) + "/x.txt", "/".join(["d%d" % i for i in range(120)]) + "/x.txt",
    "long/" + "z" * 240 + "/" + "w" * 30, "empty//name.txt", "", "/", "folder/", "bad*name?.txt",
    "CONIN$", "com\u00b9", "\u00e9t\u00e9.txt", "\u65e5\u672c.txt", "x/\u2215/y.txt", "\uff0e\uff0e/x.txt",
]


def raw_archive(members, comment=SCRIPT):
    """An archive with names as raw bytes: (name, data, deflate, flags)."""
    out, central = bytearray(), bytearray()
    for name, payload, deflate, flags in members:
        body = payload
        if deflate:
            packer = zlib.compressobj(6, zlib.DEFLATED, -15)
            body = packer.compress(payload) + packer.flush()
        fields = struct.pack("<HHHHHIII", 20, flags, 8 if deflate else 0, 0, 0x5021, zlib.crc32(payload),
                             len(body), len(payload))
        central += (b"PK\x01\x02" + bytes([20, 0]) + fields +
                    struct.pack("<HHHHHII", len(name), 0, 0, 0, 0, 0x20, len(out)) + name)
        out += b"PK\x03\x04" + fields + struct.pack("<HH", len(name), 0) + name + body
    end = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, len(members), len(members), len(central), len(out),
                                      len(comment))
    return bytearray(out + central + end + comment)


def named_archive(data, layout, rng):
    """A fresh archive around a handful of hostile names."""
    members = []
    for _ in range(rng.randrange(1, 5)):
        name = rng.choice(NAMES)
        flags = 0
        if name.isascii() or rng.random() < 0.5:
            raw = name.encode("utf-8")
            flags = 0 if name.isascii() else 0x800
        else:
            raw = name.encode("cp437", "replace")
        if rng.random() < 0.2:
            raw += bytes([rng.choice((0xC3, 0xE6, 0xFF, 0x80))])  # malformed UTF-8
            flags |= 0x800
        members.append((raw, b"hostile name\n", rng.random() < 0.5, flags))
    return raw_archive(members)


def name_length_lies(data, layout, rng):
    """Name and comment lengths that claim more than the record holds."""
    targets = []
    for c in layout.centrals:
        targets += [(c + 28, "<H"), (c + 30, "<H"), (c + 32, "<H")]
    for l in layout.locals:
        targets += [(l[0] + 26, "<H"), (l[0] + 28, "<H")]
    if layout.end >= 0:
        targets.append((layout.end + 20, "<H"))
    if not targets:
        return flip_bits(data, layout, rng)
    at, fmt = rng.choice(targets)
    put(data, at, fmt, rng.choice((65535, 65534, 259, 260, 261, 4096, min(len(data), 65535))))
    return data


ZIP64_EXTREMES = [0, 1, 0xFFFFFFFF, 0x100000000, (1 << 63) - 1, 1 << 63, (1 << 64) - 1, (1 << 64) - 16,
                  1 << 40, 1 << 60]


def zip64_records(data, layout, rng):
    """Zip64 end records and locators: made for a classic archive, then given
    absurd counts, sizes and offsets, a locator pointing anywhere, or taken
    apart."""
    if layout.end < 0 or not layout.centrals:
        return flip_bits(data, layout, rng)
    if layout.zip64_end < 0:
        # Convert: the record and locator in front of the end record, whose
        # fields then hold the markers.
        count, size, offset = struct.unpack_from("<HII", data, layout.end + 10)
        offset_in = layout.end - layout.shift
        record = b"PK\x06\x06" + struct.pack("<QHHIIQQQQ", 44, 45, 45, 0, 0, count, count, size, offset)
        locator = b"PK\x06\x07" + struct.pack("<IQI", 0, offset_in, 1)
        end = bytearray(data[layout.end:])
        struct.pack_into("<HHII", end, 8, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF)
        data = bytearray(data[:layout.end] + record + locator + end)
        layout = Layout(data)
        if rng.random() < 0.3:
            return data
    fields = [(layout.zip64_end + 24, "<Q"), (layout.zip64_end + 32, "<Q"), (layout.zip64_end + 40, "<Q"),
              (layout.zip64_end + 48, "<Q"), (layout.zip64_end + 4, "<Q"), (layout.locator + 8, "<Q")]
    for _ in range(rng.choice((1, 1, 2))):
        choice = rng.random()
        if choice < 0.7:
            at, fmt = rng.choice(fields)
            put(data, at, fmt, rng.choice(ZIP64_EXTREMES + [len(data), rng.randrange(len(data) + 1)]))
        elif choice < 0.85:
            put(data, layout.zip64_end, "<I", 0x06064B51)  # the record is gone: only the locator says where
        else:
            put(data, layout.locator + 8, "<Q", rng.choice((layout.zip64_end - layout.shift,
                                                            layout.zip64_end, len(data) + 100)))
    return data


def zip64_extras(data, layout, rng):
    """Zip64 extra fields: markers in the 32-bit fields with no value, or too
    few; values pushed to extremes; record sizes that lie."""
    if not layout.centrals:
        return flip_bits(data, layout, rng)
    for _ in range(rng.choice((1, 2, 3))):
        choice = rng.random()
        if choice < 0.4:
            # Markers: a central header's sizes and offset, a local one's sizes.
            if layout.locals and rng.random() < 0.4:
                record, marks = rng.choice(layout.locals)[0], (18, 22)
            else:
                record, marks = rng.choice(layout.centrals), (20, 24, 42)
            for at in rng.sample(marks, rng.randrange(1, len(marks) + 1)):
                put(data, record + at, "<I", 0xFFFFFFFF)
        else:
            # A Zip64 record inside an extra field that has one.
            records = []
            for start, length in layout.extras:
                pos = start
                while pos + 4 <= start + length and pos + 4 <= len(data):
                    kind, size = struct.unpack_from("<HH", data, pos)
                    if kind == 1:
                        records.append((pos, size))
                    pos += 4 + size
            if not records:
                return zip64_records(data, layout, rng)
            pos, size = rng.choice(records)
            if choice < 0.7 and size >= 8:
                put(data, pos + 4 + 8 * rng.randrange(size // 8), "<Q", rng.choice(ZIP64_EXTREMES))
            else:
                put(data, pos + 2, "<H", rng.choice((0, 4, 7, 8, 15, 16, 24, 28, 65535, max(size - 8, 0))))
    return data


def combined(data, layout, rng):
    for _ in range(2):
        data = rng.choice((flip_bits, extreme_field, method_and_flags, overlap_offsets))(data, layout, rng)
        layout = Layout(data)
    return data


MUTATIONS = [
    ("flip", flip_bits, 20),
    ("data", flip_member_data, 10),
    ("cut", truncate, 10),
    ("extreme", extreme_field, 20),
    ("method", method_and_flags, 8),
    ("overlap", overlap_offsets, 10),
    ("names", named_archive, 8),
    ("lengths", name_length_lies, 8),
    ("combined", combined, 6),
    ("zip64", zip64_records, 8),
    ("zip64extra", zip64_extras, 8),
]


def mutate(seed_dir, out_dir, count, random_seed):
    seeds = []
    for name in sorted(os.listdir(seed_dir)):
        if name.endswith(".zip"):
            seeds.append((name[:-4], open(os.path.join(seed_dir, name), "rb").read()))
    if not seeds:
        sys.exit("no seeds in %s" % seed_dir)
    os.makedirs(out_dir, exist_ok=True)
    weights = [w for _, _, w in MUTATIONS]
    paths = []
    for index in range(count):
        # One generator per archive: any archive can be made again alone.
        rng = random.Random("%d-%d" % (random_seed, index))
        seed_name, seed = rng.choice(seeds)
        kind, mutation, _ = rng.choices(MUTATIONS, weights)[0]
        data = mutation(bytearray(seed), Layout(seed), rng)
        path = os.path.join(out_dir, "%06d-%s-%s.zip" % (index, kind, seed_name))
        with open(path, "wb") as f:
            f.write(bytes(data))
        paths.append(path)
    with open(os.path.join(out_dir, "list.txt"), "w") as f:
        f.write("\n".join(paths) + "\n")


def main():
    if len(sys.argv) >= 3 and sys.argv[1] == "seeds":
        stub = packer = None
        args = sys.argv[3:]
        while args:
            flag, value = args[0], args[1]
            if flag == "--stub":
                stub = value
            elif flag == "--packer":
                packer = value
            args = args[2:]
        make_seeds(sys.argv[2], stub, packer)
    elif len(sys.argv) == 6 and sys.argv[1] == "mutate":
        mutate(sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5]))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
