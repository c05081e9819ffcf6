#!/usr/bin/env python3
"""Makes the installers of the end-to-end tests: the stub of this build, then
(for the localised ones) a messages block, then a ZIP archive written by
Python's zipfile whose comment is the script - as a publisher makes one.
Usage: make_setup_programs.py STUB OUTPUT_FOLDER"""
import io
import os
import struct
import sys
import zipfile
import zlib

stub_path, folder = sys.argv[1], sys.argv[2]
os.makedirs(folder, exist_ok=True)

# Every test run starts here; the installers hold hundreds of megabytes of
# data to compress. Made after both the stub and this script, they are kept.
stamp = os.path.join(folder, ".made")
inputs = max(os.path.getmtime(stub_path), os.path.getmtime(__file__))
if os.path.exists(stamp) and os.path.getmtime(stamp) > inputs:
    sys.exit(0)
stub = open(stub_path, "rb").read()

README = b"Zimbro end-to-end test\r\n" * 40
GUIDE = b"How to use the tool.\r\n" * 200
PROBE = '"%ZIMBRO_PROBE%"'


def archive(script, members, big=0):
    """members: (name, bytes) pairs; big: megabytes of zeros in big.bin first."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        if script is not None:
            z.comment = script.replace("\n", "\r\n").encode("cp1252")
        if big:
            with z.open("big.bin", "w") as member:
                chunk = bytes(1 << 20)
                for _ in range(big):
                    member.write(chunk)
        for name, data in members:
            z.writestr(name, data)
    return bytearray(buffer.getvalue())


def patch_member(data, name, offset_in_header, value, fmt):
    """Writes value into the local and the central header of member name."""
    encoded = name.encode()
    for signature, name_at, header in ((b"PK\x03\x04", 30, 0), (b"PK\x01\x02", 46, 1)):
        at = 0
        while True:
            at = data.find(signature, at)
            if at < 0:
                break
            length_at = at + (26 if header == 0 else 28)
            (name_length,) = struct.unpack_from("<H", data, length_at)
            if bytes(data[at + name_at:at + name_at + name_length]) == encoded:
                field = offset_in_header[header]
                struct.pack_into(fmt, data, at + field, value)
            at += 4
    return data


def key(kind, dialog, text):
    return "%08x" % zlib.crc32((kind + dialog + text).encode("cp1252"))


def messages_block(entries):
    lines = ["***" + "messages**"] + ['%s="%s"' % (k, v) for k, v in entries]
    return ("\r\n".join(lines) + "\r\n").encode("cp1252")


def write(name, data, block=b""):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(stub + block + bytes(data))


FILES = [("readme.txt", README), ("docs/guide.txt", GUIDE)]

write("plain.exe", archive(None, FILES))
write("texts.exe", archive(
    "Title=Zimbro Texts Test\nText\n{\nFirst paragraph.\n\nSecond paragraph.\n}\nSetup=" + PROBE + " texts\n",
    FILES))
write("license.exe", archive(
    "Title=Zimbro License Test\nLicense=Zimbro Terms\n{\nUse Zimbro freely.\n}\nSetup=" + PROBE + " license\n",
    FILES))
write("silent1.exe", archive("Title=Zimbro Silent One\nSilent=1\nSetup=" + PROBE + " silent\n", FILES))
# Long enough an extraction for the test to see the dialog while it runs.
write("silent2.exe", archive("Title=Zimbro Silent Two\nSilent=2\nSetup=" + PROBE + " auto\n", FILES, big=200))
write("silent5.exe", archive("Title=Zimbro Silent Five\nSilent=5\n", FILES, big=200))
write("presetup.exe", archive("Title=Zimbro Presetup Test\nPresetup=" + PROBE + " presetup\n", FILES))
write("tempmode.exe", archive(
    "Title=Zimbro Temp Test\nTempMode=Unpack the Zimbro test and run it?,Zimbro Temp Test\n"
    "Setup=" + PROBE + " temp\n", FILES))
write("big.exe", archive(
    "Title=Zimbro Big Test\nShortcut=D,readme.txt,,Zimbro Cancel E2E,Zimbro Cancel E2E\n"
    "Setup=" + PROBE + " big\n", FILES, big=300))
# A wrong CRC in both headers of bad.txt: exit code 3.
write("crc.exe", patch_member(archive(
    "Title=Zimbro CRC Test\nSetup=" + PROBE + " crc\n", [("good.txt", README), ("bad.txt", GUIDE)]),
    "bad.txt", (14, 16), 0x12345678, "<I"))
# An unknown compression method (99): an error line without an exit code.
write("method.exe", patch_member(archive(
    "Title=Zimbro Method Test\nSetup=" + PROBE + " method\n", [("odd.bin", GUIDE), ("readme.txt", README)]),
    "odd.bin", (8, 10), 99, "<H"))
# locked.txt is held open by the test: it cannot be created, exit code 9.
write("locked.exe", archive("Title=Zimbro Locked Test\nOverwrite=1\n", [("locked.txt", README)]))

# A remembered destination and a Delete there: the folder comes from the
# test's environment, the saved one from whichever hive the run trusts.
write("savepath.exe", archive("Title=Zimbro SavePath Test\nPath=%ZIMBRO_SAVEPATH_DEST%\nSavePath\nSilent=1\n"
                              "Delete=*.old\n", FILES))
# A wrong CRC in a member whose name is outside ASCII: the unattended run's
# log must show it in UTF-8.
write("unattended.exe", patch_member(archive(
    "Title=Zimbro Unattended Test\nSetup=" + PROBE + " unattended\n", [("readme.txt", README), ("gr\u00fc\u00dfe.txt", GUIDE)]),
    "gr\u00fc\u00dfe.txt", (14, 16), 0x12345678, "<I"))

# Setup programs by bare names that the archive does not hold, into the
# folder the test names: one of that name beside the installer or in the
# caller's folder must never start.
write("lookup.exe", archive(
    "Title=Zimbro Lookup Test\nPath=%ZIMBRO_LOOKUP_DEST%\nSetup=zimbro-tool /x\nSetup=zimbro-tool.exe /y\n", FILES))

# Localised: translated dialog texts and help text, a larger start dialog;
# and a mirrored one.
translated = [
    (key("$", "STARTDLG", "Zimbro self-extracting archive"), "Zimbro Selbstentpacker"),
    (key("$", "STARTDLG", "Install"), "Installieren"),
    (key("$", "STARTDLG", "Cancel"), "Abbrechen"),
    (key("$", "STARTDLG", ""), "120*110"),
    (key("s", "", "<ul><li>Press <b>Install</b> button to start extraction.</li><br><br>"),
     "<ul><li>Klicken Sie auf <b>Installieren</b>.</li><br><br>"),
]
write("localised.exe", archive(None, FILES), messages_block(translated))
write("mirrored.exe", archive(None, FILES), messages_block([(key("$", "LTR", "LTR"), "RTL")]))

# Hostile archives, run silently by the tests (hostile_archive_cases.cpp):
# names to refuse, damage, what cannot be extracted, UTF-8 names and limits.
# Written byte by byte, so that names, flags and fields are exactly these.
def raw_archive(members, comment=b""):
    """members: (name bytes, data, deflate, flags, needed version)."""
    out, central = bytearray(), bytearray()
    for name, payload, deflate, flags, needed in members:
        body = payload
        if deflate:
            packer = zlib.compressobj(9, zlib.DEFLATED, -15)
            body = packer.compress(payload) + packer.flush()
        fields = struct.pack("<HHHHHIII", needed, flags, 8 if deflate else 0, 0x6000, 0x5A21,
                             zlib.crc32(payload), len(body), len(payload))
        central += (b"PK\x01\x02" + bytes([20, 0]) + fields +
                    struct.pack("<HHHHHII", len(name), 0, 0, 0, 0, 0x20, len(out)) + name)
        out += b"PK\x03\x04" + fields + struct.pack("<HH", len(name), 0) + name + body
    end = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, len(members), len(members), len(central), len(out),
                                      len(comment))
    return bytearray(out + central + end + comment)


def one(name, data=b"hostile\r\n", deflate=True, flags=0, needed=20):
    return (name if isinstance(name, bytes) else name.encode("utf-8"), data, deflate, flags, needed)


OK = one("ok.txt", b"fine\r\n")
for tag, name in (("parent", "../evil.txt"), ("con", "CON"), ("nul-ext", "nul.txt"), ("com9", "sub/COM9.log"),
                  ("lpt1", "lpt1"), ("dot", "trailing."), ("blank", "trailing "), ("folder-dot", "dir./x.txt"),
                  ("component", "c" * 256), ("long-path", "d" * 120 + "/" + "e" * 120 + "/f.txt")):
    write("h-%s.exe" % tag, raw_archive([one(name), OK]))
data = raw_archive([one("odd.bin", GUIDE, deflate=False), OK])
struct.pack_into("<H", data, 8, 99)  # the local method of the first member
data[data.index(b"PK\x01\x02") + 10] = 99  # and its central one
write("h-method.exe", data)
# A version needed that no feature of the member calls for (as Zip64
# writers set 4.5 on small members) is no reason to refuse; strong
# encryption (flag bit 6) is.
write("h-version.exe", raw_archive([one("new.bin", GUIDE, needed=63), OK]))
write("h-strong.exe", raw_archive([one("strong.bin", GUIDE, flags=0x41, needed=51), OK]))
data = raw_archive([one("damaged.txt", README * 20), OK])
data[30 + len(b"damaged.txt") + 5] ^= 0xFF
write("h-damaged.exe", data)
UTF8 = 0x800
write("h-utf8.exe", raw_archive([one("\u00dcnic\u00f6de/", b"", False, UTF8),
                                 one("caf\u00e9/na\u00efve.txt", b"utf-8\r\n", True, UTF8),
                                 one("\u65e5\u672c\u8a9e.txt", b"cjk\r\n", True, UTF8), OK]))
write("h-utf8-bad.exe", raw_archive([one(b"bad\xc3(.txt", b"x", True, UTF8), OK]))
# Limits: 65,535 members claimed for 2, a directory larger than the file, a
# comment length past the end, a name length of 65,535.
data = raw_archive([one("a.txt"), OK])
struct.pack_into("<HH", data, len(data) - 22 + 8, 65535, 65535)
write("h-many.exe", data)
data = raw_archive([one("a.txt"), OK])
struct.pack_into("<I", data, len(data) - 22 + 12, 0x7FFFFFF0)
write("h-bigdir.exe", data)
data = raw_archive([one("a.txt"), OK])
struct.pack_into("<H", data, len(data) - 22 + 20, 65535)
write("h-comment.exe", data)
data = raw_archive([one("a.txt"), OK])
struct.pack_into("<H", data, 26, 65535)
struct.pack_into("<H", data, data.index(b"PK\x01\x02") + 28, 65535)
write("h-namelen.exe", data)


# Zip64: the end record and its locator in front of the classic one, whose
# fields then hold the markers; Zip64 extra fields of central headers.
def zip64_end(data, entries=None, locator_offset=None, record=True):
    """The classic archive data (no comment) with a Zip64 end record."""
    end = len(data) - 22
    count, size, offset = struct.unpack_from("<HII", data, end + 10)
    entries = count if entries is None else entries
    z64 = b"PK\x06\x06" + struct.pack("<QHHIIQQQQ", 44, 45, 45, 0, 0, entries, entries, size, offset)
    locator = b"PK\x06\x07" + struct.pack("<IQI", 0, end if locator_offset is None else locator_offset, 1)
    classic = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    return bytearray(data[:end] + (z64 if record else b"") + locator + classic)


def zip64_extra(data, name, values, marks):
    """Moves the central header fields at marks (offsets 24, 20, 42) of member
    name into a Zip64 extra field holding values."""
    at = data.index(b"PK\x01\x02")
    while True:
        n = struct.unpack_from("<H", data, at + 28)[0]
        if bytes(data[at + 46:at + 46 + n]) == name:
            break
        at = data.index(b"PK\x01\x02", at + 4)
    for mark in marks:
        struct.pack_into("<I", data, at + mark, 0xFFFFFFFF)
    extra = struct.pack("<HH", 1, 8 * len(values)) + b"".join(struct.pack("<Q", v) for v in values)
    struct.pack_into("<H", data, at + 30, len(extra))
    data[at + 46 + n:at + 46 + n] = extra
    # The directory grew: the end records say so.
    end = data.rindex(b"PK\x05\x06")
    struct.pack_into("<I", data, end + 12, struct.unpack_from("<I", data, end + 12)[0] + len(extra))
    return data


two = raw_archive([one("a.txt"), OK])
write("h-z64.exe", zip64_end(two))
write("h-z64-locator-outside.exe", zip64_end(two, locator_offset=1 << 40, record=False))
write("h-z64-count.exe", zip64_end(two, entries=1 << 40))


def last_comment(data, comment):
    """The archive with comment on its last central header, which then
    ends the directory right before the end record."""
    at = data.rindex(b"PK\x01\x02")
    n, extra = struct.unpack_from("<HH", data, at + 28)
    struct.pack_into("<H", data, at + 32, len(comment))
    data[at + 46 + n + extra:at + 46 + n + extra] = comment
    end = data.rindex(b"PK\x05\x06")
    struct.pack_into("<I", data, end + 12, struct.unpack_from("<I", data, end + 12)[0] + len(comment))
    return data


# Zip64 signatures that a classic archive's own bytes hold right where the
# records would lie: a locator 20 bytes before the end record, once naming
# nothing and once behind a record that does not end at the locator.
lookalike_locator = b"PK\x06\x07" + struct.pack("<IQI", 0, 0x123456789, 1)
write("h-z64-lookalike.exe", last_comment(raw_archive([one("a.txt"), OK]), b"note " + lookalike_locator))
lookalike_record = b"PK\x06\x06" + struct.pack("<QHHIIQQQQ", 4000, 45, 45, 0, 0, 1, 1, 1, 0)
write("h-z64-lookalike-record.exe",
      last_comment(raw_archive([one("a.txt"), OK]), lookalike_record + b"PK\x06\x07" + struct.pack("<IQI", 0, 0, 1)))
ok_first = raw_archive([OK, one("a.txt", b"a\r\n", deflate=False)])
size = len(b"a\r\n")
# Both sizes marked, one value given.
write("h-z64-short.exe", zip64_extra(ok_first, b"a.txt", [size], [24, 20]))
# A local offset that overflows when the shift is added.
write("h-z64-offset.exe", zip64_extra(ok_first, b"a.txt", [0xFFFFFFFFFFFFFFF0], [42]))
# Sizes and the offset all in the Zip64 field: read as any other member.
local = ok_first.index(b"PK\x03\x04", 30 + len(b"ok.txt"))
write("h-z64-fields.exe", zip64_end(zip64_extra(ok_first, b"a.txt", [size, size, local], [24, 20, 42])))

open(stamp, "w").close()
