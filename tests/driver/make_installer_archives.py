#!/usr/bin/env python3
"""Writes the archives of the installer tests with Python's zipfile: a small
program, its readme and a setup batch file that starts the probe program,
each archive with a script in its comment as a publisher writes one."""
import os
import sys
import zipfile

INSTALLER_SCRIPT = r""";The comment below holds the installer's script
Title=Zimbro Tool 1.0 Setup
Text
{
<b>Zimbro Tool</b> will be installed on this computer.
}
License=Zimbro Tool license
{
You may use Zimbro Tool freely.
}
Path=Zimbro Test\Tool
SavePath
Overwrite=1
Presetup="%ZIMBRO_PROBE%" presetup
Delete=*.old
Shortcut=D,tool.exe,,Zimbro Tool,Zimbro Tool E2E
Shortcut=P,readme.txt,Zimbro Tool E2E
Setup=setup.bat /quiet
"""

TEMPMODE_SCRIPT = r""";Unpacked to a temporary folder, run, removed
TempMode=Unpack and run Zimbro Tool?,Zimbro Tool
Setup=setup.bat
"""


def write(path, script):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        archive.comment = script.replace("\n", "\r\n").encode("ascii")
        archive.writestr("tool.exe", b"MZ" + bytes(range(256)) * 16)
        archive.writestr("readme.txt", "Zimbro Tool\r\n" * 20, compress_type=zipfile.ZIP_STORED)
        archive.writestr("setup.bat", '@"%ZIMBRO_PROBE%" setup %*\r\n')


folder = sys.argv[1]
os.makedirs(folder, exist_ok=True)
write(os.path.join(folder, "installer.zip"), INSTALLER_SCRIPT)
write(os.path.join(folder, "tempmode.zip"), TEMPMODE_SCRIPT)
