#!/usr/bin/env python3
"""Writes a messages block for translators: every text of the string table and
of the five dialogs, each under its key, with the English text as the value
and as a comment above it. Translate the values, then append the block to the
stub before the archive:

    scripts/messages-template.py > messages.txt      # edit the values
    cat build/zimbro-sfx.exe messages.txt payload.zip > setup.exe

Keys are the CRC-32 of a kind ("s" for a message, "$" for a dialog text),
the dialog name and the English text. Lines that are not entries are ignored,
so the comments stay in the block. --pseudo wraps every value in brackets
(a pseudo-translation that shows which texts a block reaches)."""
import argparse
import re
import sys
import zlib
from pathlib import Path

RESOURCES = Path(__file__).resolve().parent.parent / "resources"
DIALOGS = ["STARTDLG", "LICENSEDLG", "GETPASSWORD1", "REPLACEFILEDLG", "RENAMEDLG"]
MARKER = "*" * 3 + "messages" + "*" * 2


def key(kind, dialog, text):
    return "%08x" % zlib.crc32((kind + dialog + text).encode("cp1252"))


def rc_string(literal):
    """The text of an RC string literal (without its quotes)."""
    text = literal.replace('""', '"')
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "t": "\t", "r": "\r", "\\": "\\", '"': '"'}.get(m.group(1), m.group(0)), text)


def escape(value):
    return value.replace("\\", "\\\\").replace('"', '\\"').replace("\r", "\\r").replace("\n", "\\n").replace("\t", "\\t")


QUOTED = r'"((?:[^"]|"")*)"'


def string_table():
    for line in (RESOURCES / "strings.rc").read_text().splitlines():
        m = re.match(r"\s*(\d+)\s*,\s*" + QUOTED, line)
        if m:
            yield int(m.group(1)), rc_string(m.group(2))


def dialog_texts():
    """(dialog, caption, [control texts]) in template order."""
    current = None
    for line in (RESOURCES / "dialogs.rc").read_text().splitlines():
        m = re.match(r"(\w+)\s+DIALOG(EX)?\b", line)
        if m:
            current = [m.group(1), "", []]
            continue
        if current is None:
            continue
        m = re.match(r"\s*CAPTION\s+" + QUOTED, line)
        if m:
            current[1] = rc_string(m.group(1))
            continue
        if re.match(r"\s*END\b", line):
            yield tuple(current)
            current = None
            continue
        m = re.match(r"\s*(LTEXT|RTEXT|CTEXT|PUSHBUTTON|DEFPUSHBUTTON|GROUPBOX|CONTROL)\s+" + QUOTED, line)
        if m and m.group(2):
            current[2].append(rc_string(m.group(2)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--pseudo", action="store_true", help="wrap every value in brackets")
    args = parser.parse_args()
    value = (lambda text: "[" + text + "]") if args.pseudo else (lambda text: text)

    out = [MARKER, "; Zimbro SFX messages block. Only lines of the form key=\"value\" count.", ""]
    out += ["; Layout direction: RTL lays every dialog out right to left.",
            '%s="%s"' % (key("$", "LTR", "LTR"), "LTR"), ""]
    dialogs = {d[0]: d for d in dialog_texts()}
    for name in DIALOGS:
        _, caption, texts = dialogs[name]
        out.append("; ---- dialog %s" % name)
        out.append("; Size in percent, width*height (100*100 keeps the template's size).")
        out.append('%s="100*100"' % key("$", name, ""))
        seen = set()
        for text in [caption] + texts:
            if text in seen:
                continue
            seen.add(text)
            out.append("; %s" % escape(text))
            out.append('%s="%s"' % (key("$", name, text), escape(value(text))))
        out.append("")
    out.append("; ---- messages")
    for number, text in string_table():
        out.append("; %d: %s" % (number, escape(text)))
        out.append('%s="%s"' % (key("s", "", text), escape(value(text))))
    sys.stdout.buffer.write(("\r\n".join(out) + "\r\n").encode("cp1252"))


if __name__ == "__main__":
    main()
