#!/usr/bin/env python3
"""Enters the table of delay-import descriptors into the stub's image header
(data directory 13), which the linker leaves empty for dlltool's
delay-import libraries. The loader does not read it, the delay-load helper
is handed its descriptor directly; tools that list what an image loads do,
and the image check (scripts/check-stub.sh) reads the delay-loaded DLLs
from it. The link map gives the descriptors' addresses and that of the zero
record that ends them (support/delay_load.cpp).
Usage: mark-delay-imports.py IMAGE LINK_MAP"""
import re
import struct
import sys

DESCRIPTOR_SIZE = 32
DELAY_IMPORT_DIRECTORY = 13

image_path, map_path = sys.argv[1], sys.argv[2]
starts, end = [], None
for line in open(map_path, encoding="latin-1"):
    found = re.match(r"\s+0x([0-9a-f]+)\s+(\S+)\s*$", line)
    if not found:
        continue
    address, symbol = int(found.group(1), 16), found.group(2)
    if "DELAY_IMPORT_DESCRIPTOR_" in symbol:
        starts.append(address)
    elif symbol.lstrip("_") == "zimbroDelayImportEnd":
        end = address
if not starts or end is None:
    sys.exit("mark-delay-imports: no delay-import descriptors or no end record in %s" % map_path)
first = min(starts)
# The descriptors must lie side by side right before the end record, or the
# table would take in bytes that are not descriptors.
if end - first != DESCRIPTOR_SIZE * len(starts):
    sys.exit("mark-delay-imports: %d descriptors do not fill 0x%x..0x%x" % (len(starts), first, end))

image = bytearray(open(image_path, "rb").read())
header = struct.unpack_from("<I", image, 0x3C)[0]
optional = header + 24
magic = struct.unpack_from("<H", image, optional)[0]
if magic == 0x10B:  # PE32
    image_base = struct.unpack_from("<I", image, optional + 28)[0]
    directories = optional + 96
elif magic == 0x20B:  # PE32+
    image_base = struct.unpack_from("<Q", image, optional + 24)[0]
    directories = optional + 112
else:
    sys.exit("mark-delay-imports: %s is not a PE image" % image_path)

# Every descriptor that dlltool writes has its attributes 1 (addresses
# relative to the image): a check that the map and the image agree.
sections = optional + struct.unpack_from("<H", image, header + 20)[0]
count = struct.unpack_from("<H", image, header + 6)[0]


def file_offset(rva):
    for i in range(count):
        size, address, _, raw = struct.unpack_from("<IIII", image, sections + 40 * i + 8)
        if address <= rva < address + size:
            return raw + rva - address
    sys.exit("mark-delay-imports: address 0x%x is in no section" % rva)


first_rva, end_rva = first - image_base, end - image_base
for rva in range(first_rva, end_rva, DESCRIPTOR_SIZE):
    if struct.unpack_from("<I", image, file_offset(rva))[0] != 1:
        sys.exit("mark-delay-imports: no descriptor at 0x%x" % rva)
if any(image[file_offset(end_rva):file_offset(end_rva) + DESCRIPTOR_SIZE]):
    sys.exit("mark-delay-imports: the end record at 0x%x is not zero" % end_rva)

struct.pack_into("<II", image, directories + 8 * DELAY_IMPORT_DIRECTORY,
                 first_rva, end_rva + DESCRIPTOR_SIZE - first_rva)

# The linker's image checksum covers the header too: computed anew, as the
# PE format defines it (16-bit words summed with their carries folded in,
# the checksum field counted as zero, then the file's length added).
checksum_at = optional + 64
struct.pack_into("<I", image, checksum_at, 0)
padded = image + b"\0" * (len(image) & 1)
total = 0
for (word,) in struct.iter_unpack("<H", padded):
    total += word
    total = (total & 0xFFFF) + (total >> 16)
struct.pack_into("<I", image, checksum_at, total + len(image))
open(image_path, "wb").write(image)
