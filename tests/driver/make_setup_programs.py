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

open(stamp, "w").close()
