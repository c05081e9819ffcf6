#!/usr/bin/env python3
"""Makes the archives the extraction tests read, with tools independent of
our own code: Debian's zip, 7-Zip (7zz) and Python's zipfile. The tests run
under Wine and cannot start these tools, so ctest runs this program first.

Usage: tests/zip/make_test_archives.py OUTDIR
OUTDIR/src holds the source files every full archive was made from; the
tests compare each extracted file with them byte for byte."""
import glob
import hashlib
import io
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile
import zlib

import aes_members
import lzma_streams

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
import solid_writer  # noqa: E402

# A fixed local time for the sources: the tests check that it comes back as
# local time.
SOURCE_TIME = "2020-02-29 13:37:42"
# The time of the hand-made members.
MEMBER_TIME = (2019, 12, 31, 23, 59, 58)
DEFLATED, STORED = zipfile.ZIP_DEFLATED, zipfile.ZIP_STORED
# The encrypted archives' passwords: the common one and the longest ones
# each tool is asked to take.
PASSWORD = "secret"
LONG_100 = "0123456789" * 10
LONG_127 = ("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_" * 2)[:127]
# Every top-level entry of the sources, as the tool's inputs.
ALL = None


def write_file(path, data):
    with open(path, "wb") as f:
        f.write(data)


def read_file(path):
    with open(path, "rb") as f:
        return f.read()


def prepare(out):
    """OUTDIR made absolute, without the files of an earlier run."""
    os.makedirs(out, exist_ok=True)
    out = os.path.abspath(out)
    for folder in ("src", "codepage", "lzma", "solid-expected"):
        shutil.rmtree(os.path.join(out, folder), ignore_errors=True)
    for pattern in ("*.zip", "*.exe", "*.bin"):
        for path in glob.glob(os.path.join(out, pattern)):
            os.remove(path)
    os.makedirs(os.path.join(out, "src"))
    return out


# ---------------------------------------------------------------------------
# Sources: text that compresses well, random bytes that do not, a file of
# exactly one output window, an empty file, nested folders and an empty one.
# ---------------------------------------------------------------------------
def random_bytes(rng, count):
    return bytes(rng.getrandbits(8) for _ in range(count))


def mixed_bytes(rng, least):
    """Runs of random bytes and of one repeated phrase, half and half, then an
    echo of 20,000 of them from 48,000 back: Deflate64 reaches that far,
    Deflate does not."""
    mixed = bytearray()
    while len(mixed) < least:
        if rng.random() < 0.5:
            mixed += random_bytes(rng, rng.randrange(10, 3000))
        else:
            mixed += b"abcabcabd" * rng.randrange(1, 400)
    mixed += mixed[-48000:-28000]
    return bytes(mixed)


def write_sources(src):
    rng = random.Random(20261208)
    lines = ["line %05d: the quick brown fox jumps over the lazy dog %d\n" % (i, rng.randrange(1000))
             for i in range(6000)]
    # In this order: each takes its bytes from the same generator.
    files = [("text.txt", "".join(lines).encode()),
             ("random.bin", random_bytes(rng, 150000)),
             ("exact32k.bin", random_bytes(rng, 32768)),
             ("empty.txt", b""),
             ("mixed.bin", mixed_bytes(rng, 120000)),
             ("sub/dir/nested.txt", b"nested file\r\n" * 37)]
    for name, data in files:
        path = os.path.join(src, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        write_file(path, data)
    os.makedirs(os.path.join(src, "sub", "emptydir"), exist_ok=True)
    # touch, as the local time it reads, for the folders too.
    paths = [src] + [os.path.join(root, name) for root, dirs, files in os.walk(src) for name in dirs + files]
    subprocess.run(["touch", "-h", "-d", SOURCE_TIME] + paths, check=True)


def source_files(src):
    """(path, archive name) of every source file, in a fixed order."""
    for root, dirs, files in os.walk(src):
        dirs.sort()
        for name in sorted(files):
            full = os.path.join(root, name)
            yield full, os.path.relpath(full, src).replace(os.sep, "/")


def source_folders(src):
    """The archive name of every source folder, ending in a slash."""
    for root, dirs, files in os.walk(src):
        dirs.sort()
        for name in dirs:
            yield os.path.relpath(os.path.join(root, name), src).replace(os.sep, "/") + "/"


# ---------------------------------------------------------------------------
# The independent tools, run in the source folder.
# ---------------------------------------------------------------------------
# Debian zip: levels 0, 1, 6, 9; a streamed archive (data descriptors); Zip64
# forced on small files (the Zip64 end record and its locator, Zip64 extra
# fields in both headers, version needed 4.5).
# (archive, options, inputs; "-r ." where inputs is ALL; streamed: written to
# a pipe, so that zip cannot seek back.)
ZIP_ARCHIVES = [("zip-l0.zip", ["-0"], ALL, False),
                ("zip-l1.zip", ["-1"], ALL, False),
                ("zip-l6.zip", ["-6"], ALL, False),
                ("zip-l9.zip", ["-9"], ALL, False),
                ("zip-stream.zip", [], ALL, True),
                ("zip-fz.zip", ["-fz"], ALL, False)]

# 7-Zip: fast, best, and the longest matches with many passes. From a stream
# of unknown size: Zip64 sizes in the local header (version needed 4.5) and
# classic ones in the central header (7-Zip has no switch that forces Zip64
# on files it can measure). (archive, options, inputs, the file on standard
# input.)
SEVEN_ZIP_ARCHIVES = [("7z-mx1.zip", ["-mx=1"], ALL, None),
                      ("7z-mx9.zip", ["-mx=9"], ALL, None),
                      ("7z-fb258.zip", ["-mm=Deflate", "-mfb=258", "-mpass=15"], ALL, None),
                      ("7z-stdin.zip", ["-simixed.bin"], [], "mixed.bin"),
                      ("7z-deflate64.zip", ["-mm=Deflate64", "-mx=9"], ALL, None),
                      # LZMA (method 14): with the end marker (7-Zip's default,
                      # flag bit 1) and without, where the declared size ends
                      # the stream; the most literal context bits; a dictionary
                      # smaller than the files, so that it turns round.
                      ("7z-lzma.zip", ["-mm=LZMA"], ALL, None),
                      ("7z-lzma-noeos.zip", ["-mm=LZMA:eos=off"], ALL, None),
                      ("7z-lzma-lc8.zip", ["-mm=LZMA", "-mlc=8", "-mlp=0", "-mpb=0"], ALL, None),
                      ("7z-lzma-d4k.zip", ["-mm=LZMA:eos=off", "-md=4k", "-mlc=0", "-mlp=4", "-mpb=4"], ALL, None)]

# Encrypted by the tools. Debian zip writes data descriptors (the check byte
# of the encryption header is then taken from the DOS time), also streamed;
# 7-Zip's ZipCrypto takes it from the CRC. Long passwords from both.
ZIP_ENCRYPTED = [("crypt-stream.zip", ["-P", PASSWORD], ALL, True),
                 ("crypt-100.zip", ["-P", LONG_100], ["text.txt"], False)]
SEVEN_ZIP_ENCRYPTED = [("crypt-7z.zip", ["-p" + PASSWORD, "-mem=ZipCrypto"], ALL, None),
                       ("crypt-stored.zip", ["-mx=0", "-p" + PASSWORD, "-mem=ZipCrypto"], ["random.bin"], None),
                       ("crypt-127.zip", ["-p" + LONG_127, "-mem=ZipCrypto"], ["text.txt"], None),
                       ("crypt-lzma.zip", ["-mm=LZMA", "-p" + PASSWORD, "-mem=ZipCrypto"], ALL, None)]


def run_zip(src, archive, options, inputs, streamed):
    target = "-" if streamed else "../" + archive
    command = ["zip", "-q"] + (["-r"] if inputs is ALL else []) + ["-X"] + options + [target]
    command += ["."] if inputs is ALL else inputs
    result = subprocess.run(command, cwd=src, check=True, stdout=subprocess.PIPE if streamed else None)
    if streamed:
        write_file(os.path.join(src, "..", archive), result.stdout)


def run_7zip(src, archive, options, inputs, stdin_file):
    command = ["7zz", "a", "-tzip"] + options + ["../" + archive]
    command += sorted(os.listdir(src)) if inputs is ALL else inputs
    stdin = open(os.path.join(src, stdin_file), "rb") if stdin_file else None
    try:
        subprocess.run(command, cwd=src, check=True, stdin=stdin, stdout=subprocess.DEVNULL)
    finally:
        if stdin:
            stdin.close()


# ---------------------------------------------------------------------------
# Python zipfile: the sources whole, and hand-made members.
# ---------------------------------------------------------------------------
def add_written(z, index, full, arc):
    z.write(full, arc)


def add_zip64(z, index, full, arc):
    """Zip64 extra fields (version needed 4.5), every second file Stored."""
    info = zipfile.ZipInfo.from_file(full, arc)
    info.compress_type = STORED if index % 2 else z.compression
    with z.open(info, "w", force_zip64=True) as w:
        w.write(read_file(full))


def add_opened(z, index, full, arc):
    with z.open(arc, "w") as w:
        w.write(read_file(full))


class NoSeek(io.RawIOBase):
    """A stream that cannot seek: zipfile sets flag bit 3 and writes zero
    sizes and CRC in the local headers, the real ones in the central
    directory only."""

    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += b
        return len(b)


# The sources whole: folder entries first, then every file.
# (archive, method, level, how each file is added, written to a stream that
# cannot seek)
WHOLE_ARCHIVES = [("py-stored.zip", STORED, None, add_written, False),
                  ("py-zip64.zip", DEFLATED, None, add_zip64, False),
                  ("py-deflate1.zip", DEFLATED, 1, add_written, False),
                  ("py-deflate9.zip", DEFLATED, 9, add_written, False),
                  ("py-descriptor.zip", DEFLATED, None, add_opened, True),
                  # zipfile's LZMA always ends the stream with its marker (bit 1).
                  ("py-lzma.zip", zipfile.ZIP_LZMA, None, add_written, False),
                  ("py-lzma-descriptor.zip", zipfile.ZIP_LZMA, None, add_opened, True)]


def make_whole_archive(out, name, method, level, add, unseekable):
    src = os.path.join(out, "src")
    target = NoSeek() if unseekable else os.path.join(out, name)
    with zipfile.ZipFile(target, "w", method, compresslevel=level) as z:
        for arc in source_folders(src):
            z.writestr(arc, b"")
        for index, (full, arc) in enumerate(source_files(src)):
            add(z, index, full, arc)
    if unseekable:
        write_file(os.path.join(out, name), bytes(target.data))


def member(name, data, when=MEMBER_TIME, attrs=None, method=DEFLATED, system=None):
    info = zipfile.ZipInfo(name, when)
    info.compress_type = method
    if attrs is not None:
        info.external_attr = attrs
    if system is not None:
        info.create_system = system
    return info, data


def archive(members, comment=b""):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        for info, data in members:
            z.writestr(info, data)
        z.comment = comment
    return buffer.getvalue()


def central_entries(data):
    """(offset of each central header, name) from the end record."""
    end = data.rindex(b"PK\x05\x06")
    count, size, offset = struct.unpack_from("<HII", data, end + 10)
    if data[end - 20:end - 16] == b"PK\x06\x07":
        count, size, offset = struct.unpack_from("<QQQ", data, end - 20 - 56 + 32)
    result, pos = [], offset
    for _ in range(count):
        n, e, c = struct.unpack_from("<HHH", data, pos + 28)
        result.append((pos, bytes(data[pos + 46:pos + 46 + n])))
        pos += 46 + n + e + c
    return result


def local_offset(data, central):
    return struct.unpack_from("<I", data, central + 42)[0]


def xor_u32(data, pos, mask):
    struct.pack_into("<I", data, pos, struct.unpack_from("<I", data, pos)[0] ^ mask)


# Version needed alone refuses nothing (2.1, 4.2 from OS/2, 4.5, 6.3); strong
# encryption (flag bit 6) and patched data (bit 5) are refused.
# (member, version needed and its host in the central header, flags there)
VERSION_MEMBERS = [("v21.txt", b"needs 2.1\n", (21, 0), None),
                   ("v42os2.txt", b"os/2 4.2\n", (42, 2), None),
                   ("v45.txt", b"needs 4.5\n", (45, 0), None),
                   ("v63.txt", b"needs 6.3\n", (63, 3), None),
                   ("strong.txt", b"strong encryption\n", None, 0x41),
                   ("patched.txt", b"patched data\n", None, 0x20),
                   ("ok.txt", b"fine\n", None, None)]


def make_version_archive(out):
    data = bytearray(archive([member(name, text) for name, text, _, _ in VERSION_MEMBERS]))
    patches = {name.encode(): (version, flag) for name, _, version, flag in VERSION_MEMBERS}
    for pos, name in central_entries(data):
        version, flag = patches[name]
        if version:
            data[pos + 6], data[pos + 7] = version
        if flag:
            struct.pack_into("<H", data, pos + 8, flag)
    write_file(os.path.join(out, "py-version.zip"), data)


def unicode_path(header, real, crc_of=None):
    """The Unicode Path extra field naming real, over the CRC of crc_of (by
    default the header's own name)."""
    info, data = member(header, real.encode("utf-8") + b"\n")
    name = real.encode("utf-8")
    crc = zlib.crc32((crc_of or header).encode())
    info.extra = struct.pack("<HHBI", 0x7075, 5 + len(name), 1, crc) + name
    return info, data


def make_badcrc_archive(out):
    """A wrong CRC in both headers of a stored member; a good member follows."""
    data = bytearray(archive([member("badcrc.txt", b"wrong crc here\n" * 100, method=STORED),
                              member("after.txt", b"after the bad one\n")]))
    for pos, name in central_entries(data):
        if name == b"badcrc.txt":
            xor_u32(data, pos + 16, 0x5A5A5A5A)
            xor_u32(data, local_offset(data, pos) + 14, 0x5A5A5A5A)
    write_file(os.path.join(out, "py-badcrc.zip"), data)


def make_flipped_archives(out, text, mixed):
    """Damaged Deflate data: one byte flipped at several places of the member."""
    for tag, payload in (("text", text), ("mixed", mixed)):
        clean = archive([member("damaged.bin", payload), member("after.txt", b"after the damage\n")])
        write_flipped(out, clean, central_entries(clean)[0][0], "py-flip-" + tag + "-%d.zip")


def write_flipped(out, clean, central, pattern):
    """Copies of clean with one byte of the data of the member whose central
    header is at central flipped, at 0, 10, 50 and 90 % of it."""
    lo = local_offset(clean, central)
    n, e = struct.unpack_from("<HH", clean, lo + 26)
    start = lo + 30 + n + e
    size = struct.unpack_from("<I", clean, central + 20)[0]
    for percent in (0, 10, 50, 90):
        data = bytearray(clean)
        data[start + size * percent // 100] ^= 0xFF
        write_file(os.path.join(out, pattern % percent), data)


def fixed_block(symbols):
    """A last fixed-code block of Deflate (or Deflate64) from literal bytes
    and (length symbol, distance code) pairs without extra bits; then the end
    of block."""
    bits = []

    def code(value, n):  # Huffman codes go most significant bit first
        bits.extend((value >> i) & 1 for i in reversed(range(n)))

    bits += [1, 1, 0]  # last block, type 1
    for symbol in symbols:
        if isinstance(symbol, tuple):
            length, distance = symbol
            code(length - 256, 7)  # 257..279
            code(distance, 5)
        else:
            code(0x30 + symbol, 8)  # literals 0..143
    code(0, 7)  # end of block
    bits += [0] * (-len(bits) % 8)
    return bytes(sum(bit << i for i, bit in enumerate(bits[at:at + 8])) for at in range(0, len(bits), 8))


def relabel(data, name, method, meant):
    """The member's method, CRC and size in both headers set to method and to
    those of the bytes meant."""
    for pos, arc in central_entries(data):
        if arc == name:
            for header, offset in ((pos, 10), (local_offset(data, pos), 8)):
                struct.pack_into("<H", data, header + offset, method)
                struct.pack_into("<I", data, header + offset + 6, zlib.crc32(meant))
                struct.pack_into("<I", data, header + offset + 14, len(meant))


def make_deflate64_archives(out):
    """Deflate64 (method 9) by 7-Zip: damaged by one byte flipped at several
    places of a member, and a member cancelled in the middle; and by hand, a
    distance before the start of the output, whose bytes the headers claim
    as the window would give them. A good member follows each."""
    work = os.path.join(out, "deflate64")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    src = os.path.join(out, "src")
    write_file(os.path.join(work, "damaged.bin"), read_file(os.path.join(src, "mixed.bin")))
    write_file(os.path.join(work, "after.txt"), b"after the damage\n")
    write_file(os.path.join(work, "big.txt"), read_file(os.path.join(src, "text.txt")) * 8)
    write_file(os.path.join(work, "small.txt"), b"small\n")
    for name, inputs in (("7z-d64-clean.zip", ["damaged.bin", "after.txt"]),
                         ("7z-cancel-d64.zip", ["big.txt", "small.txt"])):
        run_7zip(work, name, ["-mm=Deflate64"], inputs, None)
    clean = read_file(os.path.join(out, "7z-d64-clean.zip"))
    central = dict((arc, pos) for pos, arc in central_entries(clean))[b"damaged.bin"]
    write_flipped(out, clean, central, "7z-flip-d64-%d.zip")
    os.remove(os.path.join(out, "7z-d64-clean.zip"))
    # "a", then 3 bytes from 2 back (length symbol 257, distance code 1):
    # one byte of output stands before them.
    data = bytearray(archive([member("damaged.bin", fixed_block([ord("a"), (257, 1)]), method=STORED),
                              member("after.txt", b"after the damage\n")]))
    relabel(data, b"damaged.bin", 9, b"a\0a\0")
    write_file(os.path.join(out, "py-d64-before-start.zip"), data)


# Declared sizes that lie, in both headers; the CRC stays that of the data
# written, so nothing but the size gives the member away.
# Output beyond the declared size: a Deflate member that expands three
# million zero bytes from a few KiB, and a Stored one. Output short of the
# declared size: the stream ends early; only the declared sizes say that
# data is missing. (archive, [(member, data, method, declared size)], the
# last member's text)
SIZE_LIES = [("py-oversize.zip", [("bomb.bin", bytes(3000000), DEFLATED, 1000),
                                  ("stored-over.txt", b"more than declared\n" * 300, STORED, 100)],
              b"after the oversized ones\n"),
             ("py-short.zip", [("short.bin", bytes(1000000), DEFLATED, 2048576),
                               ("stored-short.txt", b"less than declared\n" * 300, STORED, 9000)],
              b"after the short ones\n")]


def make_size_lie_archives(out):
    for name, lies, last in SIZE_LIES:
        members = [member(n, d, method=m) for n, d, m, _ in lies] + [member("after.txt", last)]
        declared = {n.encode(): size for n, _, _, size in lies}
        data = bytearray(archive(members))
        for pos, arc in central_entries(data):
            if arc in declared:
                struct.pack_into("<I", data, pos + 24, declared[arc])
                struct.pack_into("<I", data, local_offset(data, pos) + 22, declared[arc])
        write_file(os.path.join(out, name), data)


# Names that would leave the destination, and one safe member after them.
UNSAFE_NAMES = ["../evil1.txt", "a/../../evil2.txt", "..\\evil3.txt", "/abs1.txt", "\\abs2.txt",
                "\\\\server\\share\\evil4.txt", "C:evil5.txt", "C:/evil6.txt", "sub/../../evil7.txt",
                ". ./evil8.txt", "CON", "dir/nul.txt", "lpt1", "x/..", "safe/ok.txt"]


def make_many_zip64_archive(out, count=65600):
    """More than 65,535 members: zipfile writes the Zip64 end record for the
    count. All but the last use an unknown method, so that the directory is
    read whole but only the last member (which only the Zip64 count reaches)
    costs a file."""
    path = os.path.join(out, "py-many-zip64.zip")
    with zipfile.ZipFile(path, "w") as z:
        for i in range(count - 1):
            z.writestr("m/%05d" % i, b"")
        z.writestr("last.txt", b"the last of %d members\n" % count)
    data = bytearray(read_file(path))
    assert b"PK\x06\x06" in data
    for pos, name in central_entries(data):
        if name != b"last.txt":
            data[pos + 10] = 99
    write_file(path, data)


def make_comment_archives(out):
    one = [member("a.txt", b"a\n")]
    write_file(os.path.join(out, "py-comment.zip"), archive(one, b"Title=Test\r\nPath=Here\r\n"))
    write_file(os.path.join(out, "py-nocomment.zip"), archive(one))
    first = archive([member("first.txt", b"1\n")], b"EARLIER")
    second = archive([member("second.txt", b"2\n")])
    write_file(os.path.join(out, "py-twocomments.bin"), first + second)
    # A comment length that claims more than the file holds is cut to the file.
    data = bytearray(archive(one, b"short comment"))
    struct.pack_into("<H", data, len(data) - 22 - 13 + 20, 30000)
    write_file(os.path.join(out, "py-longclaim.zip"), data)
    # A comment too long for the last 32768 bytes: no script, the archive still extracts.
    write_file(os.path.join(out, "py-bigcomment.zip"), archive(one, ("Text=" + "y" * 39000 + "\r\n").encode()))
    # The end record further back than the engine searches (the search covers
    # the tail and ceil((66000 - tail) / 8192) whole blocks, up to 74191 bytes).
    write_file(os.path.join(out, "py-farend.bin"), archive(one) + b"\0" * 80000)


def make_straddle_archives(out, rng):
    """End record signatures straddling the 8192-byte block boundary, by 1 to
    3 bytes; the comment makes the file longer than one block."""
    for cut in (1, 2, 3):
        want = 8192 - 4 + cut
        pad = 7000
        for _ in range(4):
            data = archive([member("pad.bin", random_bytes(rng, pad), method=STORED)], b"c" * 100)
            end = len(data) - 122
            pad += want - end
        assert end == want, (end, want)
        write_file(os.path.join(out, "py-straddle-%d.zip" % cut), data)


def make_name_archives(out):
    """Folder entries, a file in the way of a folder, a component the
    platform refuses, and the byte 0x81 from an MS-DOS host (OEM: u umlaut)
    and from a Unix host (left as it is); a volume label entry (DOS
    attribute 0x08) and a file after it."""
    data = archive([member("made/", b""), member("exists/", b""), member("blocked/x.txt", b"x\n"),
                    member("dir/bad*.txt", b"refused\n"), member("Xber.txt", b"dos\n", system=0),
                    member("Xnix.txt", b"unix\n", system=3)])
    write_file(os.path.join(out, "py-names.zip"), data.replace(b"Xber", b"\x81ber").replace(b"Xnix", b"\x81nix"))
    write_file(os.path.join(out, "py-label.zip"),
               archive([member("ZIMBROVOL", b"", attrs=0x08, system=0), member("after.txt", b"after the label\n")]))


def make_zipfile_archives(out, rng):
    """Every archive of Python's zipfile. rng is shared with the prefix: the
    order of the recipes that draw from it is fixed."""
    src = os.path.join(out, "src")
    text = read_file(os.path.join(src, "text.txt"))
    mixed = read_file(os.path.join(src, "mixed.bin"))
    simple = {
        # Attributes: read-only (DOS bit 0) and hidden (bit 1) over Unix modes.
        "py-attrs.zip": [member("readonly.txt", b"read only\n", attrs=(0o100444 << 16) | 0x01),
                         member("hidden.txt", b"hidden\n", attrs=(0o100644 << 16) | 0x02),
                         member("plain.txt", b"plain\n", when=(2001, 2, 3, 4, 5, 6))],
        # 65 members: two batches of the directory. Stored and a few KiB each,
        # so that the member data push the directory's block out of the buffer.
        "py-65.zip": [member("many/m%02d.txt" % i, (b"member %d\n" % i) * (300 + i), method=STORED)
                      for i in range(65)],
        "py-empty.zip": [],
        # The Unicode Path extra field: used when its CRC is that of the
        # header's name, ignored (the header's name stays) when it is not.
        "py-unicode-path.zip": [unicode_path("hdr-name.txt", "caf\u00e9/\u65e5\u672c.txt"),
                                unicode_path("kept-name.txt", "ignored.txt", crc_of="other.txt")],
    }
    for recipe in WHOLE_ARCHIVES:
        make_whole_archive(out, *recipe)
    for name, members in simple.items():
        write_file(os.path.join(out, name), archive(members))
    make_version_archive(out)
    make_badcrc_archive(out)
    make_flipped_archives(out, text, mixed)
    make_size_lie_archives(out)
    # Cancelled in the middle of a member: one Stored over several windows,
    # one Deflate over many blocks, each followed by a member that must not come.
    write_file(os.path.join(out, "py-cancel-stored.zip"),
               archive([member("big.bin", rng.randbytes(200000), method=STORED), member("small.txt", b"small\n")]))
    write_file(os.path.join(out, "py-cancel-deflate.zip"),
               archive([member("big.txt", text * 8), member("small.txt", b"small\n")]))
    # Cut off: the end record is gone.
    full = read_file(os.path.join(out, "py-deflate9.zip"))
    write_file(os.path.join(out, "py-truncated.zip"), full[:len(full) * 6 // 10])
    write_file(os.path.join(out, "py-unsafe.zip"),
               archive([member(n, b"must never leave the destination\n") for n in UNSAFE_NAMES]))
    # A name longer than the name buffer: refused, not written under a cut name.
    write_file(os.path.join(out, "py-longname.zip"),
               archive([member("long/" + "x" * 295 + ".txt", b"long name\n"), member("ok.txt", b"fine\n")]))
    make_many_zip64_archive(out)
    make_comment_archives(out)
    make_straddle_archives(out, rng)
    # Existing files: three members the tests find already on disk.
    write_file(os.path.join(out, "py-replace.zip"),
               archive([member(n + ".txt", b"new " + n.encode() + b"\n", when=(2021, 6, 15, 8, 30, 0))
                        for n in ("a", "b", "c")]))
    make_name_archives(out)


# ---------------------------------------------------------------------------
# LZMA: raw streams for the decoder tests, and members no tool writes
# (damaged, cut, lying about their size) for the engine's.
# ---------------------------------------------------------------------------
LZMA_METHOD = 14
LZMA_END_MARKER = 0x0002
# The encoder's version bytes: nothing reads them.
LZMA_VERSION = bytes([9, 20])


def lzma_member_data(stream, props=lzma_streams.HAND_PROPERTIES, props_size=5):
    return LZMA_VERSION + struct.pack("<H", props_size) + props + stream


def lzma_archive(members):
    """Members (name, method-14 data, CRC, declared size, flags), each
    followed by one good member. Written Stored, then marked LZMA."""
    data = bytearray(archive([member(n, d, method=STORED) for n, d, _, _, _ in members] +
                             [member("after.txt", b"after the damage\n")]))
    patches = {n.encode(): (crc, size, flags) for n, _, crc, size, flags in members}
    for pos, name in central_entries(data):
        if name in patches:
            crc, size, flags = patches[name]
            # The flags, then the method, the CRC and the uncompressed size at
            # the same distances from them in both headers.
            for flags_at in (pos + 8, local_offset(data, pos) + 6):
                struct.pack_into("<HH", data, flags_at, flags, LZMA_METHOD)
                struct.pack_into("<I", data, flags_at + 8, crc)
                struct.pack_into("<I", data, flags_at + 16, size)
    return bytes(data)


def seven_zip_member(path, name):
    """The method-14 data of a member of a 7-Zip archive."""
    data = read_file(path)
    with zipfile.ZipFile(path) as z:
        info = z.getinfo(name)
    n, e = struct.unpack_from("<HH", data, info.header_offset + 26)
    start = info.header_offset + 30 + n + e
    return info.flag_bits, data[start:start + info.compress_size]


def make_lzma_raw_streams(out, data):
    """out/lzma: TAG.lzma (the five property bytes, then the raw stream) and
    TAG.out (what it decodes to); cases.txt lists "TAG SIZE MARKER"."""
    folder = os.path.join(out, "lzma")
    os.makedirs(folder, exist_ok=True)
    cases = []
    for tag, lc, lp, pb, dictionary in lzma_streams.RAW_PROPERTIES:
        stream = lzma_streams.raw_stream(data, lc, lp, pb, dictionary)
        cases.append((tag, lzma_streams.properties(lc, lp, pb, dictionary) + stream, data, 1))
    flags, member_data = seven_zip_member(os.path.join(out, "7z-lzma-noeos.zip"), "text.txt")
    assert flags & LZMA_END_MARKER == 0
    cases.append(("7z-no-marker", member_data[4:], read_file(os.path.join(out, "src", "text.txt")), 0))
    cases.append(("empty", lzma_streams.HAND_PROPERTIES + lzma_streams.raw_stream(b"", 3, 0, 2, 1 << 16), b"", 1))
    tag, _, expected = lzma_streams.HAND_GOOD
    cases.append((tag, lzma_streams.HAND_PROPERTIES + lzma_streams.check_hand_good(), expected, 1))
    for tag, stream, expected, marker in cases:
        write_file(os.path.join(folder, tag + ".lzma"), stream)
        write_file(os.path.join(folder, tag + ".out"), expected)
    # Not in the list: streams that must fail (hostile-TAG.lzma).
    for tag, steps in lzma_streams.HAND_HOSTILE:
        write_file(os.path.join(folder, "hostile-%s.lzma" % tag),
                   lzma_streams.HAND_PROPERTIES + lzma_streams.hand_stream(steps))
    write_file(os.path.join(folder, "cases.txt"),
               "".join("%s %d %d\n" % (tag, len(expected), marker) for tag, _, expected, marker in cases).encode())


def make_lzma_archives(out):
    text = read_file(os.path.join(out, "src", "text.txt"))
    data = text[:200000] + read_file(os.path.join(out, "src", "mixed.bin"))[:100000] + \
        read_file(os.path.join(out, "src", "random.bin"))[:30000]
    make_lzma_raw_streams(out, data)
    good = lzma_streams.raw_stream(text, 3, 0, 2, 1 << 16)
    crc, size = zlib.crc32(text), len(text)
    flipped = []
    for percent in (10, 50, 90):
        stream = bytearray(good)
        stream[len(stream) * percent // 100] ^= 0x55
        flipped.append(("flip-%d" % percent, lzma_member_data(bytes(stream)), crc, size, LZMA_END_MARKER))
    # (tag, method-14 data, CRC, declared size, flags)
    damaged = [(tag, lzma_member_data(lzma_streams.hand_stream(steps)), 0, 5, LZMA_END_MARKER)
               for tag, steps in lzma_streams.HAND_HOSTILE] + flipped + [
        ("truncated", lzma_member_data(good[:len(good) // 2]), crc, size, LZMA_END_MARKER),
        ("truncated-header", lzma_member_data(b"")[:6], crc, size, LZMA_END_MARKER),
        ("beyond-size", lzma_member_data(good), zlib.crc32(text[:-1000]), size - 1000, LZMA_END_MARKER),
        ("beyond-size-no-marker", lzma_member_data(good), zlib.crc32(text[:-1000]), size - 1000, 0),
        ("short", lzma_member_data(good), crc, size + 1000, LZMA_END_MARKER),
        ("bad-properties", lzma_member_data(good, props=b"\xe1" + lzma_streams.HAND_PROPERTIES[1:]), crc, size,
         LZMA_END_MARKER),
        ("bad-properties-size", lzma_member_data(good, props_size=4), crc, size, LZMA_END_MARKER),
        ("coder-first-byte", lzma_member_data(b"\x01" + good[1:]), crc, size, LZMA_END_MARKER)]
    for tag, member_data, crc_value, declared, flags in damaged:
        write_file(os.path.join(out, "lzma-bad-%s.zip" % tag),
                   lzma_archive([("damaged.bin", member_data, crc_value, declared, flags)]))
    # A dictionary past the engine's limit, for a member that would fill it.
    huge = lzma_streams.properties(3, 0, 2, 0xFFFFFFFF)
    write_file(os.path.join(out, "lzma-huge-dictionary.zip"),
               lzma_archive([("huge.bin", lzma_member_data(good, props=huge), crc, 1 << 30, LZMA_END_MARKER)]))


# ---------------------------------------------------------------------------
# Solid blocks, by the independent writer in tests/common/solid_writer.py. Every member
# name stands for one content in every archive; out/solid-expected holds
# them, for the tests to compare with.
# ---------------------------------------------------------------------------
def solid_members(out):
    text = read_file(os.path.join(out, "src", "text.txt"))
    random_data = read_file(os.path.join(out, "src", "random.bin"))
    members = {"a.txt": text[:3000], "mixed.bin": read_file(os.path.join(out, "src", "mixed.bin")),
               "random.bin": random_data[:100000], "plain.txt": b"between the blocks\n",
               "second/x.txt": text[3000:60000], "second/y.bin": random_data[:20000], "last.txt": text[-5000:],
               "../evil.txt": b"must never be written\n"}
    for i in range(70):
        members["many/m%02d.txt" % i] = ("solid member %d\n" % i).encode() * (50 + i)
    for name, data in members.items():
        if not name.startswith(".."):
            path = os.path.join(out, "solid-expected", name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            write_file(path, data)
    return members


def make_solid_archives(out):
    m = solid_members(out)
    Member = solid_writer.Member

    def block(label, names, **overrides_of):
        return [Member(n, m[n], block=label, **overrides_of.get(n, {})) for n in names]

    def flip(head_data):
        spoiled = bytearray(head_data)
        spoiled[len(spoiled) * 6 // 10] ^= 0x55
        return bytes(spoiled)

    many = sorted(n for n in m if n.startswith("many/"))
    plain = [Member("plain.txt", m["plain.txt"])]
    huge = lzma_streams.properties(3, 0, 2, 0xFFFFFFFF)
    # (tag, members, how the head data of block 1 are spoiled)
    cases = [
        # 73 members in the first block, so a batch of the directory ends
        # inside it; a stored member between two blocks.
        ("good", block(1, ["a.txt"] + many + ["mixed.bin", "random.bin"]) + plain +
         block(2, ["second/x.txt", "second/y.bin", "last.txt"]), None),
        ("flip", block(1, ["a.txt", "mixed.bin", "random.bin", "last.txt"]) + plain +
         block(2, ["second/x.txt", "second/y.bin"]), flip),
        ("cut", block(1, ["a.txt", "mixed.bin", "last.txt"]) + plain, lambda data: data[:len(data) // 2]),
        ("badcrc", block(1, ["a.txt", "second/x.txt", "last.txt"], **{"second/x.txt": {"crc": 1}}) + plain, None),
        ("place", block(1, ["a.txt", "second/x.txt", "last.txt"], **{"second/x.txt": {"offset_in_block": 7}}) +
         plain, None),
        ("dictionary", block(1, ["a.txt", "last.txt"]) + plain, lambda data: data[:4] + huge + data[9:]),
        ("filter", block(1, ["a.txt", "last.txt"], **{n: {"filter_byte": 1} for n in ("a.txt", "last.txt")}) +
         plain, None),
        ("refused", block(1, ["a.txt", "../evil.txt", "last.txt"]) + plain, None),
    ]
    for tag, members, spoil in cases:
        edit = (lambda label, data, spoil=spoil: spoil(data) if label == 1 else data) if spoil else None
        data, _ = solid_writer.write_solid_archive(members, stream_edit=edit)
        write_file(os.path.join(out, "solid-%s.zip" % tag), data)


# ---------------------------------------------------------------------------
# An archive behind an executable. Any prefix will do for the engine; this
# one holds no 'P' byte, so no signature can appear in it.
# ---------------------------------------------------------------------------
PREFIX_SIZE = 70000


def set_directory_offset(data, change):
    """The end record's directory offset, changed by change(old)."""
    end = data.rindex(b"PK\x05\x06")
    struct.pack_into("<I", data, end + 16, change(struct.unpack_from("<I", data, end + 16)[0]))
    return data


def shift_local_offsets(data, shift):
    for pos, _ in central_entries(data):
        struct.pack_into("<I", data, pos + 42, local_offset(data, pos) + shift)
    return data


def hostile_offset_archive():
    """A local offset just below 2 GiB on the first member."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", DEFLATED) as z:
        z.writestr("first.txt", b"first member\n")
        z.writestr("second.txt", b"second member\n")
    data = bytearray(buffer.getvalue())
    first_central = central_entries(data)[0][0]
    struct.pack_into("<I", data, first_central + 42, 0x7FFFFFFF - 100)
    return data


def make_prefixed_archives(out, rng):
    prefix = bytes(b if b != 0x50 else 0x51 for b in (rng.getrandbits(8) for _ in range(PREFIX_SIZE)))
    write_file(os.path.join(out, "prefix.bin"), prefix)
    plain = read_file(os.path.join(out, "zip-l6.zip"))
    # Offsets that ignore the prefix: the shift is the prefix's size.
    write_file(os.path.join(out, "prefixed-plain.exe"), prefix + plain)
    # Offsets that include the prefix (adjusted by zip -A): the shift is 0.
    shutil.copyfile(os.path.join(out, "prefixed-plain.exe"), os.path.join(out, "prefixed-adjusted.exe"))
    subprocess.run(["zip", "-q", "-A", "prefixed-adjusted.exe"], cwd=out, check=True)
    # A Zip64 archive with a script behind the same prefix: the shift comes
    # from the Zip64 end record, the comment is found behind it. (One run of
    # zip: adding a comment later writes the archive without them.)
    subprocess.run(["zip", "-q", "-r", "-X", "-fz", "-z", "../zip-fz-comment.zip", "."],
                   cwd=os.path.join(out, "src"), input=b"Title=Zip64\nPath=Here\n", check=True)
    write_file(os.path.join(out, "prefixed-zip64.exe"), prefix + read_file(os.path.join(out, "zip-fz-comment.zip")))

    adjusted = read_file(os.path.join(out, "prefixed-adjusted.exe"))
    variants = [
        # Directory offset without the prefix, local offsets with it: the
        # first member is missed once, then the shift is put aside.
        ("prefixed-retry.exe", set_directory_offset(bytearray(adjusted), lambda o: o - PREFIX_SIZE)),
        # Directory offset 0 in front of a prefix: the shift is taken as the offset.
        ("prefixed-zerooffset.exe", set_directory_offset(bytearray(adjusted), lambda o: 0)),
        # No prefix, directory offset 100 too large: a negative shift.
        ("negative-shift.zip", set_directory_offset(bytearray(plain), lambda o: o + 100)),
        # A short archive with the same mix of offsets: the first try lands
        # beyond the end of the file.
        ("prefixed-retry-small.exe",
         prefix + shift_local_offsets(bytearray(read_file(os.path.join(out, "py-attrs.zip"))), PREFIX_SIZE)),
        # A hostile local offset in front of a shift: the sum lies beyond any
        # position of the engine and must not wrap round to a negative (or
        # any other) one. The member after it is still found.
        ("prefixed-hostile-offset.exe", prefix + hostile_offset_archive()),
    ]
    for name, data in variants:
        write_file(os.path.join(out, name), data)


# ---------------------------------------------------------------------------
# The traditional cipher, written from the ZIP application note: for the
# archives whose password bytes depend on the code page (ANSI 1252 and OEM
# 437, Wine's defaults), and to make sure that the wrong password of the
# tests fails the one-byte check of every member, as it does 255 times in 256.
# ---------------------------------------------------------------------------
def crc_table():
    table = []
    for n in range(256):
        c = n
        for _ in range(8):
            c = (c >> 1) ^ 0xEDB88320 if c & 1 else c >> 1
        table.append(c)
    return table


CRC_TABLE = crc_table()


class Cipher:
    def __init__(self, password):
        self.keys = [0x12345678, 0x23456789, 0x34567890]
        for b in password:
            self.update(b)

    def update(self, plain):
        k = self.keys
        k[0] = CRC_TABLE[(k[0] ^ plain) & 0xFF] ^ (k[0] >> 8)
        k[1] = ((k[1] + (k[0] & 0xFF)) * 0x08088405 + 1) & 0xFFFFFFFF
        k[2] = CRC_TABLE[(k[2] ^ (k[1] >> 24)) & 0xFF] ^ (k[2] >> 8)

    def byte(self):
        t = (self.keys[2] & 0xFFFF) | 2
        return ((t * (t ^ 1)) >> 8) & 0xFF


def encrypt(password, plain):
    cipher, result = Cipher(password), bytearray()
    for p in plain:
        result.append(p ^ cipher.byte())
        cipher.update(p)
    return bytes(result)


def header_fits(password, header, check):
    cipher, last = Cipher(password), 0
    for c in header:
        last = c ^ cipher.byte()
        cipher.update(last)
    return last == check


def stored_encrypted(out, name, member_name, data, password, others):
    """One Stored member whose header fits password and none of others."""
    rng = random.Random(name)
    crc = zlib.crc32(data)
    while True:
        header = random_bytes(rng, 11) + bytes([crc >> 24])
        body = encrypt(password, header + data)
        if not any(header_fits(o, body[:12], crc >> 24) for o in others):
            break
    fields = struct.pack("<HHHHHIII", 20, 1, 0, 0x6000, 0x52AF, crc, len(body), len(data))
    local = b"PK\x03\x04" + fields + struct.pack("<HH", len(member_name), 0) + member_name + body
    central = (b"PK\x01\x02" + bytes([20, 0]) + fields +
               struct.pack("<HHHHHII", len(member_name), 0, 0, 0, 0, 0x20, 0) + member_name)
    end = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, 1, 1, len(central), len(local), 0)
    path = os.path.join(out, name)
    write_file(path, local + central + end)
    assert zipfile.ZipFile(path).read(member_name.decode(), pwd=password) == data


def make_codepage_archives(out):
    text = b"Encrypted under a code-page dependent password.\r\n"
    os.makedirs(os.path.join(out, "codepage"), exist_ok=True)
    for name in ("oem.txt", "fromoem.txt"):
        write_file(os.path.join(out, "codepage", name), text)
    typed = "M\u00fcller".encode("cp1252")
    # Typed in ANSI, fitting in its OEM form.
    stored_encrypted(out, "crypt-oem.zip", b"oem.txt", text, "M\u00fcller".encode("cp437"), [typed])
    # A remembered password read as OEM text and converted to ANSI.
    raw = b"\x81ber"
    stored_encrypted(out, "crypt-fromoem.zip", b"fromoem.txt", text, raw.decode("cp437").encode("cp1252"),
                     [raw, b"?ber"])


def wrong_password_fits(path):
    """Whether "wrong" passes the check byte of any encrypted member."""
    data = read_file(path)
    for info in zipfile.ZipFile(path).infolist():
        if not info.flag_bits & 1:
            continue
        local = info.header_offset
        n, e = struct.unpack_from("<HH", data, local + 26)
        start = local + 30 + n + e
        check = data[local + 11] if info.flag_bits & 8 else info.CRC >> 24
        if header_fits(b"wrong", data[start:start + 12], check):
            return True
    return False


def make_wrong_password_archive(out, attempts=50):
    """Debian zip, until "wrong" fails the check byte of every member."""
    path = os.path.join(out, "crypt-zip.zip")
    for _ in range(attempts):
        if os.path.exists(path):
            os.remove(path)
        subprocess.run(["zip", "-q", "-r", "-X", "-P", PASSWORD, path, "."], cwd=os.path.join(out, "src"), check=True)
        if not wrong_password_fits(path):
            return
    sys.exit("no archive found in which the wrong password fails every member")


# ---------------------------------------------------------------------------
# AES-encrypted members: 7-Zip at each key strength and over each method,
# bsdtar (libarchive), and our own writer of the format for the first
# version, passwords outside ASCII and members changed after encryption.
# ---------------------------------------------------------------------------
SEVEN_ZIP_AES = [("crypt-aes128.zip", ["-mem=AES128"], ALL),
                 ("crypt-aes192.zip", ["-mem=AES192"], ALL),
                 ("crypt-aes256.zip", ["-mem=AES256"], ALL),
                 ("crypt-aes-stored.zip", ["-mem=AES256", "-mx=0"], ALL),
                 ("crypt-aes-lzma.zip", ["-mem=AES256", "-mm=LZMA"], ALL),
                 ("crypt-aes-d64.zip", ["-mem=AES256", "-mm=Deflate64"], ALL)]


def aes_verifier_fits(path, password):
    """Whether password passes the verifier of any AES member."""
    data = read_file(path)
    for info in zipfile.ZipFile(path).infolist():
        local = info.header_offset
        method, = struct.unpack_from("<H", data, local + 8)
        if method != 99:
            continue
        n, e = struct.unpack_from("<HH", data, local + 26)
        extra = data[local + 30 + n:local + 30 + n + e]
        at = extra.index(b"AE") + 2
        key_bytes = aes_members.KEY_BYTES[extra[at]]
        start = local + 30 + n + e
        salt, verifier = data[start:start + key_bytes // 2], data[start + key_bytes // 2:start + key_bytes // 2 + 2]
        if hashlib.pbkdf2_hmac("sha1", password, salt, 1000, 2 * key_bytes + 2)[-2:] == verifier:
            return True
    return False


def seven_zip_test(path, password, expect_ok=True):
    """7-Zip's own test of an archive, as the independent check of ours."""
    env = dict(os.environ, LC_ALL="C.UTF-8")
    result = subprocess.run(["7zz", "t", "-p" + password, path], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    if (result.returncode == 0) != expect_ok:
        sys.exit("7zz t %s: exit %d, expected %s" % (path, result.returncode, "success" if expect_ok else "failure"))


def make_aes_archives(out, src):
    # A wrong password passes the two-byte verifier once in 65,536 members
    # and would then fail as damage: each archive is made again until
    # "wrong" fails every verifier, so the tests' lines are certain.
    for archive, options, inputs in SEVEN_ZIP_AES:
        path = os.path.join(out, archive)
        for _ in range(20):
            if os.path.exists(path):
                os.remove(path)
            run_7zip(src, archive, ["-p" + PASSWORD] + options, inputs, None)
            if not aes_verifier_fits(path, b"wrong"):
                break
        else:
            sys.exit("no archive found in which the wrong password fails every member")
    if shutil.which("bsdtar") is None:
        sys.exit("bsdtar (libarchive-tools) is missing: scripts/install-deps.sh installs it")
    subprocess.run(["bsdtar", "--format", "zip", "--options", "zip:encryption=aes256", "--passphrase", PASSWORD,
                    "-cf", os.path.join("..", "crypt-aes-bsdtar.zip")] + sorted(os.listdir(src)), cwd=src, check=True)

    folder = os.path.join(out, "aes")
    os.makedirs(folder, exist_ok=True)
    first, second = b"the first member, spoiled in the tests\r\n" * 40, b"the second member, always sound\r\n" * 3
    for name, data in (("first.txt", first), ("second.txt", second)):
        write_file(os.path.join(folder, name), data)
    Member, key = aes_members.Member, PASSWORD.encode()

    def flip(data):
        return data[:len(data) // 2] + bytes([data[len(data) // 2] ^ 0x01]) + data[len(data) // 2 + 1:]

    cases = {
        # The first version keeps the CRC; a 192-bit key; one member stored.
        "crypt-ae1.zip": [Member("first.txt", first, key, strength=2, version=1),
                          Member("second.txt", second, key, strength=1, version=1, deflate=False)],
        "crypt-aes-flip.zip": [Member("first.txt", first, key, spoil_data=flip), Member("second.txt", second, key)],
        "crypt-aes-code.zip": [Member("first.txt", first, key, spoil_code=flip), Member("second.txt", second, key)],
        # Shorter than its salt, verifier and code.
        "crypt-aes-cut.zip": [Member("first.txt", first, key, cut=27), Member("second.txt", second, key)],
        # The code fits, the CRC stored by the first version does not.
        "crypt-ae1-badcrc.zip": [Member("first.txt", first, key, version=1, crc=zlib.crc32(first) ^ 1),
                                 Member("second.txt", second, key, version=1)],
    }
    for archive, members in cases.items():
        write_file(os.path.join(out, archive), aes_members.write_archive(members))
    seven_zip_test(os.path.join(out, "crypt-ae1.zip"), PASSWORD)
    seven_zip_test(os.path.join(out, "crypt-aes-flip.zip"), PASSWORD, expect_ok=False)

    # A password outside ASCII: the writers' UTF-8 bytes (7-Zip reads them
    # so), and the code-page bytes of a writer that knows no UTF-8.
    text = b"Encrypted under a password with an accented letter.\r\n"
    for name in ("utf8.txt", "ansi.txt"):
        write_file(os.path.join(out, "codepage", name), text)
    typed = "caf\u00e9"
    write_file(os.path.join(out, "crypt-aes-utf8.zip"),
               aes_members.write_archive([Member("utf8.txt", text, typed.encode("utf-8"))]))
    write_file(os.path.join(out, "crypt-aes-ansi.zip"),
               aes_members.write_archive([Member("ansi.txt", text, typed.encode("cp1252"))]))
    seven_zip_test(os.path.join(out, "crypt-aes-utf8.zip"), typed)


def make_label_drive(out):
    """A drive for the volume-label test: Wine's drive q: as a link to a
    folder of ours, so that no real drive of the machine is ever labelled."""
    drive = os.path.join(out, "labeldrive")
    os.makedirs(drive, exist_ok=True)
    label = os.path.join(drive, ".windows-label")
    if os.path.lexists(label):
        os.remove(label)
    prefix = os.environ.get("WINEPREFIX")
    if prefix and os.path.isdir(os.path.join(prefix, "dosdevices")):
        link = os.path.join(prefix, "dosdevices", "q:")
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(drive, link)


def main(argv):
    if len(argv) != 2:
        sys.exit("usage: make_test_archives.py OUTDIR")
    out = prepare(argv[1])
    src = os.path.join(out, "src")
    write_sources(src)
    for recipe in ZIP_ARCHIVES:
        run_zip(src, *recipe)
    for recipe in SEVEN_ZIP_ARCHIVES:
        run_7zip(src, *recipe)
    rng = random.Random(7)
    make_zipfile_archives(out, rng)
    make_prefixed_archives(out, rng)
    for recipe in ZIP_ENCRYPTED:
        run_zip(src, *recipe)
    for recipe in SEVEN_ZIP_ENCRYPTED:
        run_7zip(src, *recipe)
    make_codepage_archives(out)
    make_wrong_password_archive(out)
    make_aes_archives(out, src)
    make_label_drive(out)
    make_deflate64_archives(out)
    make_lzma_archives(out)
    make_solid_archives(out)
    print("test archives in %s" % out)


if __name__ == "__main__":
    main(sys.argv)
