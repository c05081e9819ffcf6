#!/usr/bin/env bash
# Makes the archives the extraction tests read, with tools independent of
# our own code: Debian's zip, 7-Zip and Python's zipfile. The tests run under
# Wine and cannot start these tools, so ctest runs this script first.
#
# Usage: scripts/make-test-archives.sh OUTDIR
# OUTDIR/src holds the source files every full archive was made from; the
# tests compare each extracted file with them byte for byte.
set -euo pipefail
out=${1:?usage: make-test-archives.sh OUTDIR}
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -rf "$out/src" "$out/codepage" "$out"/*.zip "$out"/*.exe "$out"/*.bin
mkdir -p "$out/src"

# ---------------------------------------------------------------------------
# Sources: text that compresses well, random bytes that do not, a file of
# exactly one output window, an empty file, nested folders and an empty one.
# ---------------------------------------------------------------------------
python3 - "$out/src" <<'PY'
import os, random, sys
src = sys.argv[1]
rng = random.Random(20261208)
def put(name, data):
    path = os.path.join(src, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
lines = []
for i in range(6000):
    lines.append("line %05d: the quick brown fox jumps over the lazy dog %d\n" % (i, rng.randrange(1000)))
put("text.txt", "".join(lines).encode())
put("random.bin", bytes(rng.getrandbits(8) for _ in range(150000)))
put("exact32k.bin", bytes(rng.getrandbits(8) for _ in range(32768)))
put("empty.txt", b"")
mixed = bytearray()
while len(mixed) < 120000:
    if rng.random() < 0.5:
        mixed += bytes(rng.getrandbits(8) for _ in range(rng.randrange(10, 3000)))
    else:
        mixed += (b"abcabcabd" * rng.randrange(1, 400))
put("mixed.bin", bytes(mixed))
put("sub/dir/nested.txt", b"nested file\r\n" * 37)
os.makedirs(os.path.join(src, "sub", "emptydir"), exist_ok=True)
PY
# A fixed local time: the tests check that it comes back as local time.
find "$out/src" -exec touch -h -d '2020-02-29 13:37:42' {} +

cd "$out/src"
# ---------------------------------------------------------------------------
# Debian zip: levels 0, 1, 6, 9, and a streamed archive (data descriptors).
# ---------------------------------------------------------------------------
for level in 0 1 6 9; do
  zip -q -r -X -"$level" "../zip-l$level.zip" .
done
zip -q -r -X - . | cat > ../zip-stream.zip
# Zip64 forced on small files: the Zip64 end record and its locator, Zip64
# extra fields in both headers, version needed 4.5.
zip -q -r -X -fz ../zip-fz.zip .

# ---------------------------------------------------------------------------
# 7-Zip: fast, best, and the longest matches with many passes.
# ---------------------------------------------------------------------------
entries=$(ls -A)
# shellcheck disable=SC2086
7zz a -tzip -mx=1 ../7z-mx1.zip $entries >/dev/null
# shellcheck disable=SC2086
7zz a -tzip -mx=9 ../7z-mx9.zip $entries >/dev/null
# shellcheck disable=SC2086
7zz a -tzip -mm=Deflate -mfb=258 -mpass=15 ../7z-fb258.zip $entries >/dev/null
# From a stream of unknown size: Zip64 sizes in the local header (version
# needed 4.5) and classic ones in the central header. (7-Zip has no switch
# that forces Zip64 on files it can measure.)
7zz a -tzip -simixed.bin ../7z-stdin.zip <mixed.bin >/dev/null
cd "$out"

# ---------------------------------------------------------------------------
# Python zipfile: stored, deflated 1 and 9, descriptors, attributes and every
# hand-made case.
# ---------------------------------------------------------------------------
python3 - "$out" <<'PY'
import io, os, random, struct, sys, zipfile, zlib
out = sys.argv[1]
src = os.path.join(out, "src")
rng = random.Random(7)

def sources():
    for root, dirs, files in os.walk(src):
        dirs.sort()
        for name in sorted(files):
            full = os.path.join(root, name)
            yield full, os.path.relpath(full, src).replace(os.sep, "/")

def folders():
    for root, dirs, files in os.walk(src):
        for name in sorted(dirs):
            yield os.path.relpath(os.path.join(root, name), src).replace(os.sep, "/") + "/"

def whole(method, level, name):
    with zipfile.ZipFile(os.path.join(out, name), "w", method, compresslevel=level) as z:
        for arc in folders():
            z.writestr(arc, b"")
        for full, arc in sources():
            z.write(full, arc)

whole(zipfile.ZIP_STORED, None, "py-stored.zip")

# Zip64 extra fields on every member (version needed 4.5), Stored and Deflate.
with zipfile.ZipFile(os.path.join(out, "py-zip64.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    for arc in folders():
        z.writestr(arc, b"")
    for i, (full, arc) in enumerate(sources()):
        info = zipfile.ZipInfo.from_file(full, arc)
        info.compress_type = zipfile.ZIP_STORED if i % 2 else zipfile.ZIP_DEFLATED
        with open(full, "rb") as f, z.open(info, "w", force_zip64=True) as w:
            w.write(f.read())
whole(zipfile.ZIP_DEFLATED, 1, "py-deflate1.zip")
whole(zipfile.ZIP_DEFLATED, 9, "py-deflate9.zip")

# Written to a stream that cannot seek: flag bit 3 and zero sizes and CRC in
# the local headers, the real ones in the central directory only.
class NoSeek(io.RawIOBase):
    def __init__(self): self.data = bytearray()
    def writable(self): return True
    def write(self, b): self.data += b; return len(b)
stream = NoSeek()
with zipfile.ZipFile(stream, "w", zipfile.ZIP_DEFLATED) as z:
    for arc in folders():
        z.writestr(arc, b"")
    for full, arc in sources():
        with open(full, "rb") as f, z.open(arc, "w") as w:
            w.write(f.read())
open(os.path.join(out, "py-descriptor.zip"), "wb").write(bytes(stream.data))

def member(name, data, when=(2019, 12, 31, 23, 59, 58), attrs=None, method=zipfile.ZIP_DEFLATED):
    info = zipfile.ZipInfo(name, when)
    info.compress_type = method
    if attrs is not None:
        info.external_attr = attrs
    return info, data

def build(name, members, comment=b""):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        for info, data in members:
            z.writestr(info, data)
        z.comment = comment
    data = buffer.getvalue()
    if name:
        open(os.path.join(out, name), "wb").write(data)
    return data

# Attributes: read-only (DOS bit 0) and hidden (bit 1) over Unix modes.
build("py-attrs.zip", [
    member("readonly.txt", b"read only\n", attrs=(0o100444 << 16) | 0x01),
    member("hidden.txt", b"hidden\n", attrs=(0o100644 << 16) | 0x02),
    member("plain.txt", b"plain\n", when=(2001, 2, 3, 4, 5, 6)),
])

# 65 members: two batches of the directory. Stored and a few KiB each, so
# that the member data push the directory's block out of the buffer.
build("py-65.zip", [member("many/m%02d.txt" % i, (b"member %d\n" % i) * (300 + i), method=zipfile.ZIP_STORED)
                    for i in range(65)])

build("py-empty.zip", [])

def central_entries(data):
    """(offset of each central header, name) from the end record."""
    end = data.rindex(b"PK\x05\x06")
    count, size, offset = struct.unpack_from("<HII", data, end + 10)
    if data[end - 20:end - 16] == b"PK\x06\x07":
        count, size, offset = struct.unpack_from("<QQQ", data, end - 20 - 56 + 32)
    result, pos = [], offset
    for _ in range(count):
        n, e, c = struct.unpack_from("<HHH", data, pos + 28)
        result.append((pos, data[pos + 46:pos + 46 + n]))
        pos += 46 + n + e + c
    return result

def local_offset(data, central):
    return struct.unpack_from("<I", data, central + 42)[0]

# Version needed alone refuses nothing (2.1, 4.2 from OS/2, 4.5, 6.3); strong
# encryption (flag bit 6) and patched data (bit 5) are refused.
data = bytearray(build(None, [member("v21.txt", b"needs 2.1\n"),
                              member("v42os2.txt", b"os/2 4.2\n"),
                              member("v45.txt", b"needs 4.5\n"),
                              member("v63.txt", b"needs 6.3\n"),
                              member("strong.txt", b"strong encryption\n"),
                              member("patched.txt", b"patched data\n"),
                              member("ok.txt", b"fine\n")]))
for pos, name in central_entries(data):
    version = {b"v21.txt": (21, 0), b"v42os2.txt": (42, 2), b"v45.txt": (45, 0), b"v63.txt": (63, 3)}.get(bytes(name))
    if version:
        data[pos + 6], data[pos + 7] = version
    flag = {b"strong.txt": 0x41, b"patched.txt": 0x20}.get(bytes(name))
    if flag:
        struct.pack_into("<H", data, pos + 8, flag)
open(os.path.join(out, "py-version.zip"), "wb").write(data)

# The Unicode Path extra field: used when its CRC is that of the header's
# name, ignored (the header's name stays) when it is not.
def unicode_path(header, real, crc_of=None):
    info, data = member(header, real.encode("utf-8") + b"\n")
    name = real.encode("utf-8")
    crc = zlib.crc32((crc_of or header).encode())
    info.extra = struct.pack("<HHBI", 0x7075, 5 + len(name), 1, crc) + name
    return info, data
build("py-unicode-path.zip", [unicode_path("hdr-name.txt", "caf\u00e9/\u65e5\u672c.txt"),
                              unicode_path("kept-name.txt", "ignored.txt", crc_of="other.txt")])

# A wrong CRC in both headers of a stored member; a good member follows.
data = bytearray(build(None, [member("badcrc.txt", b"wrong crc here\n" * 100, method=zipfile.ZIP_STORED),
                              member("after.txt", b"after the bad one\n")]))
for pos, name in central_entries(data):
    if name == b"badcrc.txt":
        struct.pack_into("<I", data, pos + 16, struct.unpack_from("<I", data, pos + 16)[0] ^ 0x5A5A5A5A)
        lo = local_offset(data, pos)
        struct.pack_into("<I", data, lo + 14, struct.unpack_from("<I", data, lo + 14)[0] ^ 0x5A5A5A5A)
open(os.path.join(out, "py-badcrc.zip"), "wb").write(data)

# Damaged Deflate data: one byte flipped at several places of the member.
text = open(os.path.join(src, "text.txt"), "rb").read()
mixed = open(os.path.join(src, "mixed.bin"), "rb").read()
for tag, payload in (("text", text), ("mixed", mixed)):
    clean = build(None, [member("damaged.bin", payload), member("after.txt", b"after the damage\n")])
    entries = central_entries(clean)
    lo = local_offset(clean, entries[0][0])
    n, e = struct.unpack_from("<HH", clean, lo + 26)
    start = lo + 30 + n + e
    size = struct.unpack_from("<I", clean, entries[0][0] + 20)[0]
    for percent in (0, 10, 50, 90):
        data = bytearray(clean)
        data[start + size * percent // 100] ^= 0xFF
        open(os.path.join(out, "py-flip-%s-%d.zip" % (tag, percent)), "wb").write(data)

# Output beyond the declared size: the uncompressed size in both headers is
# cut to a fraction of the member's real size (the CRC stays the real one,
# so nothing but the size gives the member away): a Deflate member that
# expands three million zero bytes from a few KiB, and a Stored one.
data = bytearray(build(None, [member("bomb.bin", bytes(3000000)),
                              member("stored-over.txt", b"more than declared\n" * 300, method=zipfile.ZIP_STORED),
                              member("after.txt", b"after the oversized ones\n")]))
for pos, name in central_entries(data):
    declared = {b"bomb.bin": 1000, b"stored-over.txt": 100}.get(bytes(name))
    if declared is not None:
        struct.pack_into("<I", data, pos + 24, declared)
        struct.pack_into("<I", data, local_offset(data, pos) + 22, declared)
open(os.path.join(out, "py-oversize.zip"), "wb").write(data)

# Output short of the declared size: the stream ends early and the CRC is
# that of the short data; only the declared sizes say that data is missing.
data = bytearray(build(None, [member("short.bin", bytes(1000000)),
                              member("stored-short.txt", b"less than declared\n" * 300, method=zipfile.ZIP_STORED),
                              member("after.txt", b"after the short ones\n")]))
for pos, name in central_entries(data):
    declared = {b"short.bin": 2048576, b"stored-short.txt": 9000}.get(bytes(name))
    if declared is not None:
        struct.pack_into("<I", data, pos + 24, declared)
        struct.pack_into("<I", data, local_offset(data, pos) + 22, declared)
open(os.path.join(out, "py-short.zip"), "wb").write(data)

# Cancelled in the middle of a member: one Stored over several windows, one
# Deflate over many blocks, each followed by a member that must not come.
build("py-cancel-stored.zip", [member("big.bin", rng.randbytes(200000), method=zipfile.ZIP_STORED),
                               member("small.txt", b"small\n")])
build("py-cancel-deflate.zip", [member("big.txt", text * 8), member("small.txt", b"small\n")])

# Cut off: the end record is gone.
full = open(os.path.join(out, "py-deflate9.zip"), "rb").read()
open(os.path.join(out, "py-truncated.zip"), "wb").write(full[:len(full) * 6 // 10])

# Names that would leave the destination, and one safe member after them.
unsafe = ["../evil1.txt", "a/../../evil2.txt", "..\\evil3.txt", "/abs1.txt", "\\abs2.txt",
          "\\\\server\\share\\evil4.txt", "C:evil5.txt", "C:/evil6.txt", "sub/../../evil7.txt",
          ". ./evil8.txt", "CON", "dir/nul.txt", "lpt1", "x/..", "safe/ok.txt"]
build("py-unsafe.zip", [member(n, b"must never leave the destination\n") for n in unsafe])
# A name longer than the name buffer: refused, not written under a cut name.
build("py-longname.zip", [member("long/" + "x" * 295 + ".txt", b"long name\n"),
                          member("ok.txt", b"fine\n")])

# More than 65,535 members: zipfile writes the Zip64 end record for the
# count. All but the last use an unknown method, so that the directory is
# read whole but only the last member (which only the Zip64 count reaches)
# costs a file.
count = 65600
with zipfile.ZipFile(os.path.join(out, "py-many-zip64.zip"), "w") as z:
    for i in range(count - 1):
        z.writestr("m/%05d" % i, b"")
    z.writestr("last.txt", b"the last of %d members\n" % count)
data = bytearray(open(os.path.join(out, "py-many-zip64.zip"), "rb").read())
assert b"PK\x06\x06" in data
for pos, name in central_entries(data):
    if name != b"last.txt":
        data[pos + 10] = 99
open(os.path.join(out, "py-many-zip64.zip"), "wb").write(data)

# Comments.
build("py-comment.zip", [member("a.txt", b"a\n")], comment=b"Title=Test\r\nPath=Here\r\n")
build("py-nocomment.zip", [member("a.txt", b"a\n")])
first = build(None, [member("first.txt", b"1\n")], comment=b"EARLIER")
second = build(None, [member("second.txt", b"2\n")])
open(os.path.join(out, "py-twocomments.bin"), "wb").write(first + second)
# A comment length that claims more than the file holds is cut to the file.
data = bytearray(build(None, [member("a.txt", b"a\n")], comment=b"short comment"))
struct.pack_into("<H", data, len(data) - 22 - 13 + 20, 30000)
open(os.path.join(out, "py-longclaim.zip"), "wb").write(data)
# A comment too long for the last 32768 bytes: no script, the archive still extracts.
big = ("Text=" + "y" * 39000 + "\r\n").encode()
build("py-bigcomment.zip", [member("a.txt", b"a\n")], comment=big)
# The end record further back than the engine searches.
plain = build(None, [member("a.txt", b"a\n")])
# (the search covers the tail and ceil((66000 - tail) / 8192) whole blocks,
# up to 74191 bytes).
open(os.path.join(out, "py-farend.bin"), "wb").write(plain + b"\0" * 80000)

# End record signatures straddling the 8192-byte block boundary, by 1 to 3
# bytes; the comment makes the file longer than one block.
for cut in (1, 2, 3):
    want = 8192 - 4 + cut
    pad = 7000
    for _ in range(4):
        data = build(None, [member("pad.bin", bytes(rng.getrandbits(8) for _ in range(pad)), method=zipfile.ZIP_STORED)],
                     comment=b"c" * 100)
        end = len(data) - 122
        pad += want - end
    assert end == want, (end, want)
    open(os.path.join(out, "py-straddle-%d.zip" % cut), "wb").write(data)

# Existing files: three members the tests find already on disk.
build("py-replace.zip", [member(n + ".txt", b"new " + n.encode() + b"\n", when=(2021, 6, 15, 8, 30, 0))
                         for n in ("a", "b", "c")])

# Names: folder entries, a file in the way of a folder, a component the
# platform refuses, and the byte 0x81 from an MS-DOS host (OEM: u umlaut)
# and from a Unix host (left as it is).
def host(name, system, data=b"", attrs=None):
    info, data = member(name, data, attrs=attrs)
    info.create_system = system
    return info, data
data = build(None, [member("made/", b""), member("exists/", b""), member("blocked/x.txt", b"x\n"),
                    member("dir/bad*.txt", b"refused\n"), host("Xber.txt", 0, b"dos\n"), host("Xnix.txt", 3, b"unix\n")])
open(os.path.join(out, "py-names.zip"), "wb").write(data.replace(b"Xber", b"\x81ber").replace(b"Xnix", b"\x81nix"))
# A volume label entry (DOS attribute 0x08) and a file after it.
build("py-label.zip", [host("ZIMBROVOL", 0, attrs=0x08), member("after.txt", b"after the label\n")])

# ---------------------------------------------------------------------------
# An archive behind an executable. Any prefix will do for the engine; this
# one holds no 'P' byte, so no signature can appear in it.
# ---------------------------------------------------------------------------
prefix = bytes(b if b != 0x50 else 0x51 for b in (rng.getrandbits(8) for _ in range(70000)))
open(os.path.join(out, "prefix.bin"), "wb").write(prefix)
archive = open(os.path.join(out, "zip-l6.zip"), "rb").read()
# Offsets that ignore the prefix: the shift is the prefix's size.
open(os.path.join(out, "prefixed-plain.exe"), "wb").write(prefix + archive)
PY

# Offsets that include the prefix (adjusted by zip -A): the shift is 0.
cp prefixed-plain.exe prefixed-adjusted.exe
zip -q -A prefixed-adjusted.exe
# A Zip64 archive with a script behind the same prefix: the shift comes from
# the Zip64 end record, the comment is found behind it.
# (One run of zip: adding a comment later writes the archive without them.)
(cd src && printf 'Title=Zip64\nPath=Here\n' | zip -q -r -X -fz -z ../zip-fz-comment.zip .)
cat prefix.bin zip-fz-comment.zip > prefixed-zip64.exe

python3 - "$out" <<'PY'
import os, struct, sys
out = sys.argv[1]
adjusted = bytearray(open(os.path.join(out, "prefixed-adjusted.exe"), "rb").read())
prefix = 70000
end = adjusted.rindex(b"PK\x05\x06")
offset = struct.unpack_from("<I", adjusted, end + 16)[0]
# Directory offset without the prefix, local offsets with it: the first
# member is missed once, then the shift is put aside.
data = bytearray(adjusted)
struct.pack_into("<I", data, end + 16, offset - prefix)
open(os.path.join(out, "prefixed-retry.exe"), "wb").write(data)
# Directory offset 0 in front of a prefix: the shift is taken as the offset.
data = bytearray(adjusted)
struct.pack_into("<I", data, end + 16, 0)
open(os.path.join(out, "prefixed-zerooffset.exe"), "wb").write(data)
# No prefix, directory offset 100 too large: a negative shift.
plain = bytearray(open(os.path.join(out, "zip-l6.zip"), "rb").read())
end = plain.rindex(b"PK\x05\x06")
struct.pack_into("<I", plain, end + 16, struct.unpack_from("<I", plain, end + 16)[0] + 100)
open(os.path.join(out, "negative-shift.zip"), "wb").write(plain)
# A short archive with the same mix of offsets: the first try lands beyond
# the end of the file.
small = bytearray(open(os.path.join(out, "py-attrs.zip"), "rb").read())
end = small.rindex(b"PK\x05\x06")
count, size, offset = struct.unpack_from("<HII", small, end + 10)
pos = offset
for _ in range(count):
    struct.pack_into("<I", small, pos + 42, struct.unpack_from("<I", small, pos + 42)[0] + prefix)
    n, e, c = struct.unpack_from("<HHH", small, pos + 28)
    pos += 46 + n + e + c
open(os.path.join(out, "prefixed-retry-small.exe"), "wb").write(
    open(os.path.join(out, "prefix.bin"), "rb").read() + small)
# A hostile local offset just below 2 GiB in front of a shift: the sum lies
# beyond any position of the engine and must not wrap round to a negative
# (or any other) one. The member after it is still found.
import io, zipfile
buffer = io.BytesIO()
with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("first.txt", b"first member\n")
    z.writestr("second.txt", b"second member\n")
hostile = bytearray(buffer.getvalue())
end = hostile.rindex(b"PK\x05\x06")
first_central = struct.unpack_from("<I", hostile, end + 16)[0]
struct.pack_into("<I", hostile, first_central + 42, 0x7FFFFFFF - 100)
open(os.path.join(out, "prefixed-hostile-offset.exe"), "wb").write(
    open(os.path.join(out, "prefix.bin"), "rb").read() + hostile)
PY

# ---------------------------------------------------------------------------
# Encrypted archives. Debian zip writes data descriptors (the check byte of
# the encryption header is then taken from the DOS time), also streamed;
# 7-Zip's ZipCrypto takes it from the CRC. Long passwords from both.
# ---------------------------------------------------------------------------
cd "$out/src"
long100=$(printf '0123456789%.0s' {1..10})
long127=$(printf 'abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_%.0s' 1 2)
long127=${long127:0:127}
zip -q -r -X -P secret - . | cat > ../crypt-stream.zip
7zz a -tzip -psecret -mem=ZipCrypto ../crypt-7z.zip $entries >/dev/null
7zz a -tzip -mx=0 -psecret -mem=ZipCrypto ../crypt-stored.zip random.bin >/dev/null
zip -q -X -P "$long100" ../crypt-100.zip text.txt
7zz a -tzip -p"$long127" -mem=ZipCrypto ../crypt-127.zip text.txt >/dev/null
cd "$out"

# The traditional cipher, written from the ZIP application note: for the
# archives whose password bytes depend on the code page (ANSI 1252 and OEM
# 437, Wine's defaults), and to make sure that the wrong password of the
# tests fails the one-byte check of every member, as it does 255 times in 256.
python3 - "$out" <<'PY'
import os, random, struct, subprocess, sys, zipfile, zlib
out = sys.argv[1]
table = []
for n in range(256):
    c = n
    for _ in range(8):
        c = (c >> 1) ^ 0xEDB88320 if c & 1 else c >> 1
    table.append(c)

class Cipher:
    def __init__(self, password):
        self.keys = [0x12345678, 0x23456789, 0x34567890]
        for b in password:
            self.update(b)
    def update(self, plain):
        k = self.keys
        k[0] = table[(k[0] ^ plain) & 0xFF] ^ (k[0] >> 8)
        k[1] = ((k[1] + (k[0] & 0xFF)) * 0x08088405 + 1) & 0xFFFFFFFF
        k[2] = table[(k[2] ^ (k[1] >> 24)) & 0xFF] ^ (k[2] >> 8)
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

def stored_encrypted(name, member, data, password, others):
    """One Stored member whose header fits password and none of others."""
    rng = random.Random(name)
    crc = zlib.crc32(data)
    while True:
        header = bytes(rng.getrandbits(8) for _ in range(11)) + bytes([crc >> 24])
        body = encrypt(password, header + data)
        if not any(header_fits(o, body[:12], crc >> 24) for o in others):
            break
    fields = struct.pack("<HHHHHIII", 20, 1, 0, 0x6000, 0x52AF, crc, len(body), len(data))
    local = b"PK\x03\x04" + fields + struct.pack("<HH", len(member), 0) + member + body
    central = (b"PK\x01\x02" + bytes([20, 0]) + fields +
               struct.pack("<HHHHHII", len(member), 0, 0, 0, 0, 0x20, 0) + member)
    end = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, 1, 1, len(central), len(local), 0)
    open(os.path.join(out, name), "wb").write(local + central + end)
    assert zipfile.ZipFile(os.path.join(out, name)).read(member.decode(), pwd=password) == data

text = b"Encrypted under a code-page dependent password.\r\n"
os.makedirs(os.path.join(out, "codepage"), exist_ok=True)
for name in ("oem.txt", "fromoem.txt"):
    open(os.path.join(out, "codepage", name), "wb").write(text)
typed = "M\u00fcller".encode("cp1252")
# Typed in ANSI, fitting in its OEM form.
stored_encrypted("crypt-oem.zip", b"oem.txt", text, "M\u00fcller".encode("cp437"), [typed])
# A remembered password read as OEM text and converted to ANSI.
raw = b"\x81ber"
stored_encrypted("crypt-fromoem.zip", b"fromoem.txt", text, raw.decode("cp437").encode("cp1252"), [raw, b"?ber"])

# Debian zip, until "wrong" fails the check byte of every member.
for attempt in range(50):
    path = os.path.join(out, "crypt-zip.zip")
    if os.path.exists(path):
        os.remove(path)
    subprocess.run(["zip", "-q", "-r", "-X", "-P", "secret", path, "."], cwd=os.path.join(out, "src"), check=True)
    archive = open(path, "rb").read()
    fits = False
    for info in zipfile.ZipFile(path).infolist():
        if not info.flag_bits & 1:
            continue
        local = info.header_offset
        n, e = struct.unpack_from("<HH", archive, local + 26)
        start = local + 30 + n + e
        check = archive[local + 11] if info.flag_bits & 8 else info.CRC >> 24
        fits = fits or header_fits(b"wrong", archive[start:start + 12], check)
    if not fits:
        break
else:
    sys.exit("no archive found in which the wrong password fails every member")
PY

# A drive for the volume-label test: Wine's drive q: as a link to a folder of
# ours, so that no real drive of the machine is ever labelled.
mkdir -p "$out/labeldrive"
rm -f "$out/labeldrive/.windows-label"
if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX/dosdevices" ]; then
  ln -sfn "$out/labeldrive" "$WINEPREFIX/dosdevices/q:"
fi
echo "test archives in $out"
