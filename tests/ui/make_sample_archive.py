#!/usr/bin/env python3
"""Writes the small archive that the scan tests append behind a messages
block, as a user appends one behind a localised stub: Python's zipfile, one
Deflate and one Stored member, and a script comment."""
import os
import sys
import zipfile

path = sys.argv[1]
os.makedirs(os.path.dirname(path), exist_ok=True)
with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
    archive.comment = b";Zimbro SFX script\r\nSilent=1\r\n"
    archive.writestr("readme.txt", "Zimbro test member\n" * 40)
    archive.writestr("data/numbers.bin", bytes(range(256)) * 8, compress_type=zipfile.ZIP_STORED)
