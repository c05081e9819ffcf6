"""zimbro-pack --solid (no Wine): blocks of members sharing one LZMA stream,
listed by unzip, 7-Zip and Python's zipfile and refused by them as an
unknown method; decoded by a reader of the format written in Python
(tests/common/solid_writer.py); the read-back that checks every block;
the options and their limits."""
import os
import random
import re
import shutil
import subprocess
import sys
import time
import unittest
import zipfile
import zlib

from pack_support import BASE_TIME, STUB, PackTestCase, mixed_tree, read, run, text_bytes, tree_entries, write
from pack_test import spoiled_copies_test

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
import solid_writer  # noqa: E402

MiB = 1 << 20


def block_members(installer):
    """The members of each solid block, as the Python reader finds them."""
    blocks = {}
    for m in solid_writer.read_solid_archive(read(installer)):
        if m["method"] == solid_writer.METHOD_SOLID:
            blocks.setdefault(m["block"], []).append(m)
    return [blocks[k] for k in sorted(blocks)]


def expected_files(tree):
    return {name: data for name, (kind, data, _, _) in tree_entries(tree).items() if kind == "file"}


class SolidTest(PackTestCase):
    def solid_tree(self):
        tree = mixed_tree(self.path("tree"))
        write(os.path.join(tree, "bin", "program.exe"), read(STUB), BASE_TIME)
        write(os.path.join(tree, "bin", "copy.exe"), read(STUB), BASE_TIME + 2)  # found again in the same stream
        return tree

    def test_other_tools_list_it_and_refuse_what_blocks_hold(self):
        tree = self.solid_tree()
        packed, per_member = self.path("solid.exe"), self.path("lzma.exe")
        out, _ = self.pack(packed, "--solid", "-v", tree)
        self.assertIn("every member read back intact", out)
        self.pack(per_member, "--method", "lzma", tree)
        self.assertLess(os.path.getsize(packed), os.path.getsize(per_member) - 30000)  # the second program is free
        files = expected_files(tree)
        entries = tree_entries(tree)
        with zipfile.ZipFile(packed) as z:
            infos = z.infolist()
        # Empty files and folders first, Stored; then one block of every other file.
        outside = [i for i in infos if i.compress_type != solid_writer.METHOD_SOLID]
        self.assertEqual(infos[:len(outside)], outside)
        self.assertTrue(all(i.compress_type == zipfile.ZIP_STORED and i.file_size == 0 for i in outside))
        in_blocks = [i for i in infos if i.compress_type == solid_writer.METHOD_SOLID]
        self.assertEqual(len(in_blocks), sum(1 for d in files.values() if d))
        for info in infos:
            name = info.orig_filename.encode("cp437").decode("cp1252")
            kind, data, mtime, _ = entries.get(name, ("folder", None, None, None))
            if kind == "file":
                self.assertEqual((info.file_size, info.CRC), (len(data), zlib.crc32(data)), name)
                self.assertEqual(info.date_time, time.localtime(mtime)[:6], name)
            if info.compress_type == solid_writer.METHOD_SOLID:
                self.assertEqual((info.flag_bits & 0x0F, info.extract_version), (2, 63), name)
                self.assertEqual(info.compress_size == 0, info is not in_blocks[0], name)
        # The reader in Python finds every file's bytes in the block's stream.
        blocks = block_members(packed)
        self.assertEqual(len(blocks), 1)
        for m in blocks[0]:
            self.assertEqual(m["bytes"], files[m["name"]], m["name"])
        self.assertEqual(blocks[0][0]["dictionary"], (sum(m["size"] for m in blocks[0]) + 4095) // 4096 * 4096)

        # unzip, 7-Zip and zipfile list every member, and extract none of a block.
        done = subprocess.run(["unzip", "-l", packed], capture_output=True, text=True, errors="replace")
        self.assertEqual(done.returncode, 0, done.stderr)
        listed = {name: size for size, name in re.findall(r"(?m)^ *(\d+) +\S+ +\S+ +(\S.*)$", done.stdout)}
        for info in in_blocks:
            if info.filename.isascii():
                self.assertEqual(listed[info.filename], str(info.file_size))
        done = subprocess.run(["7zz", "l", "-slt", packed], capture_output=True, text=True, errors="replace")
        self.assertEqual(done.returncode, 0, done.stderr)
        seven = re.findall(r"(?m)^Path = (.*)\nFolder = .*\nSize = (\d+)\n(?:.*\n)*?CRC = ([0-9A-F]*)\n", done.stdout)
        crcs = {path: (int(size), crc) for path, size, crc in seven}
        for info in in_blocks:
            if info.filename.isascii():
                self.assertEqual(crcs[info.filename], (info.file_size, "%08X" % info.CRC), info.filename)
        skipped = "%d files skipped because of unsupported compression" % len(in_blocks)
        cases = [  # tool, its exit code, what it says, how often
            (["unzip", "-o", packed, "-d", self.path("unzip-out")], 81, "   skipping: ", len(in_blocks)),
            (["7zz", "x", "-y", "-o" + self.path("7zz-out"), packed], 2, "ERROR: Unsupported Method : ", len(in_blocks)),
        ]
        for command, code, says, times in cases:
            with self.subTest(command[0]):
                done = subprocess.run(command, capture_output=True, text=True, errors="replace")
                said = done.stdout + done.stderr
                self.assertEqual(done.returncode, code, said)
                self.assertEqual(said.count(says), times, said)
                for info in in_blocks:  # not written, or written empty: never wrong bytes
                    path = os.path.join(self.path(command[0] + "-out"), info.filename)
                    self.assertTrue(not os.path.exists(path) or os.path.getsize(path) == 0, path)
        done = subprocess.run(["unzip", "-tq", packed], capture_output=True, text=True, errors="replace")
        self.assertEqual(done.returncode, 81, done.stdout)
        self.assertIn(skipped, done.stdout)
        done = subprocess.run(["7zz", "t", packed], capture_output=True, text=True, errors="replace")
        self.assertEqual(done.returncode, 2, done.stdout)
        self.assertNotIn("CRC Failed", done.stdout)
        with zipfile.ZipFile(packed) as z:
            self.assertRaisesRegex(NotImplementedError, "compression method is not supported", z.read, in_blocks[0])

        code, listing, _ = run("--list", packed)
        self.assertEqual(code, 0)
        self.assertIn(", 1 solid block\n", listing)
        self.assertRegex(listing, r"(?m)^  solid block 1: %d members, [\d,]+ bytes in [\d,]+, dictionary [\d,]+ KiB\n"
                         % len(in_blocks))
        self.assertRegex(listing, r"(?m)^ +300,000 +0  Solid +2023-12-17 .* noise\.bin$")
        self.assertRegex(out, r"(?m)^ +[\d,]+ -> +[\d,]+  Solid    bin/program\.exe\n")

    def test_blocks_and_their_dictionaries(self):
        tree = self.path("tree")
        rng = random.Random(5)
        for i in range(6):
            write(os.path.join(tree, "t%d.txt" % i), text_bytes(400000 + 1000 * i, i), BASE_TIME)
        write(os.path.join(tree, "big.bin"), text_bytes(3 * MiB, 9), BASE_TIME)
        write(os.path.join(tree, "noise.bin"), rng.randbytes(200000), BASE_TIME)
        write(os.path.join(tree, "zero"), b"", BASE_TIME)
        files = expected_files(tree)
        # options, block sizes as lists of member names, the largest dictionary, what goes alone
        rows = [
            ([], [["big.bin", "noise.bin", "t0.txt", "t1.txt", "t2.txt", "t3.txt", "t4.txt", "t5.txt"]], 64 * MiB, []),
            (["--solid-block-size", "1"], [["noise.bin", "t0.txt", "t1.txt"], ["t2.txt", "t3.txt"], ["t4.txt", "t5.txt"]],
             MiB, ["big.bin"]),
            (["--solid-block-size", "2", "--dictionary", "1"], [["noise.bin", "t0.txt", "t1.txt", "t2.txt", "t3.txt"],
                                                                ["t4.txt", "t5.txt"]], MiB, ["big.bin"]),
        ]
        for options, expected, dictionary, alone in rows:
            with self.subTest(options):
                packed = self.path("s.exe")
                self.pack(packed, "--solid", *options, tree)
                blocks = block_members(packed)
                self.assertEqual([[m["name"] for m in b] for b in blocks], expected)
                for b in blocks:
                    joined = sum(m["size"] for m in b)
                    self.assertEqual(b[0]["dictionary"], min(dictionary, (joined + 4095) // 4096 * 4096))
                    for m in b:
                        self.assertEqual(m["bytes"], files[m["name"]])
                with zipfile.ZipFile(packed) as z:
                    for name in alone:  # a file larger than a block: alone, LZMA as --method lzma packs it
                        self.assertEqual(z.getinfo(name).compress_type, zipfile.ZIP_LZMA)
                        self.assertEqual(z.read(name), files[name])
                    first = [i.filename for i in z.infolist()[:len(alone) + 1]]
                    self.assertEqual(sorted(first), sorted(alone + ["zero"]))  # before the blocks
                code, out, _ = run("--test", packed)
                self.assertEqual(code, 0, out)
                self.assertEqual(run("--list", packed)[1].count("  solid block "), len(expected))

    def test_options_refused(self):
        tree = mixed_tree(self.path("tree"))
        cases = [
            (["--solid", "--password", "pw"], "--solid cannot go with a password"),
            (["--solid", "--password-env", "HOME"], "--solid cannot go with a password"),
            (["--solid", "--dictionary", "257"], "--dictionary takes a number from 1 to 256"),
            (["--solid", "--dictionary", "0"], "--dictionary takes a number from 1 to 256"),
            (["--solid", "--solid-block-size", "0"], "--solid-block-size takes a number from 1 to 4096"),
            (["--dictionary", "8"], "--dictionary goes with --solid"),
            (["--solid-block-size", "8"], "--solid-block-size goes with --solid"),
            (["--solid", "-0"], "-0 stores every member: it cannot go with --solid"),
        ]
        for args, message in cases:
            with self.subTest(message):
                code, out, err = run("-o", self.path("s.exe"), "--stub", STUB, *args, tree)
                self.assertEqual((code, out), (5, ""), err)
                self.assertTrue(err.startswith("zimbro-pack: " + message), err)
                self.assertTrue(err.endswith(" (see zimbro-pack --help)\n") and err.count("\n") == 1, err)
                self.assertFalse(os.path.exists(self.path("s.exe")))
        self.assertEqual(run("--list", STUB, "--solid")[0], 5)

    def test_read_back_catches_damage(self):
        tree = self.path("tree")
        for i in range(5):
            write(os.path.join(tree, "f%d.txt" % i), text_bytes(300000, 20 + i), BASE_TIME)
        packed = self.path("packed.exe")
        self.pack(packed, "--solid", "--solid-block-size", "1", tree)
        blocks = block_members(packed)
        self.assertEqual([[m["name"] for m in b] for b in blocks], [["f0.txt", "f1.txt", "f2.txt"], ["f3.txt", "f4.txt"]])
        head = blocks[0][0]

        def stream_byte(share):  # one byte of the first block's stream flipped
            def spoil(path):
                data = bytearray(read(path))
                data[head["data_at"] + 9 + int((head["packed"] - 9) * share)] ^= 0x40
                write(path, bytes(data))
            return spoil

        def by_python(name, *members, **options):
            path = self.path(name + ".exe")
            write(path, solid_writer.write_solid_archive(list(members), comment=b"Title=x\r\n", prefix=read(STUB),
                                                         **options)[0])
            return path

        Member = solid_writer.Member
        a, b, c = b"first " * 5000, b"second " * 4000, bytes(range(256)) * 40
        good = by_python("good", Member("a.txt", a, 1), Member("b.txt", b, 1), Member("e.txt"), Member("c.bin", c, 2),
                         dictionary=1 << 20, lc=4, pb=0)
        cases = [  # installer, spoil, exit code, what --test says
            ("packed", packed, None, 0, "5 members tested: 5 intact, 0 damaged"),
            ("Python's", good, None, 0, "4 members tested: 4 intact, 0 damaged"),
            ("stream start", packed, stream_byte(0.001), 4, 'member "f0.txt": '),
            ("stream middle", packed, stream_byte(0.5), 4, 'member "f2.txt": '),  # f2 at least, with what follows
            ("stream end", packed, stream_byte(0.999), 4, 'member "f2.txt": '),
            ("wrong CRC", by_python("crc", Member("a.txt", a, 1), Member("b.txt", b, 1, crc=1)), None, 4,
             'member "b.txt": its data has CRC '),
            ("offset in block", by_python("offset", Member("a.txt", a, 1), Member("b.txt", b, 1, offset_in_block=7)),
             None, 4, 'member "b.txt": lies at 7 in its solid block, where the members before it end at 30,000'),
            ("head offset", by_python("head", Member("a.txt", a, 1, offset_in_block=1), Member("b.txt", b, 1)), None, 4,
             'member "a.txt": lies at 1 in its solid block'),
            ("stray member", by_python("stray", Member("a.txt", a, 1), Member("b.txt", b, 1, head_offset=5)), None, 4,
             'member "b.txt": claims the solid block at offset 5, which it does not follow'),
            ("headers differ", by_python("differ", Member("a.txt", a, 1), Member(
                "b.txt", b, 1, offset_in_block=3, central_extra=solid_writer.solid_field(len(read(STUB)), len(a)))),
             None, 4, 'member "b.txt": its two headers hold different solid-block fields'),
            ("version", by_python("version", Member("a.txt", a, 1, version=2)), None, 4,
             'member "a.txt": its solid-block field has version 2'),
            ("x86 filter", by_python("x86", Member("a.txt", a, 1, filter_byte=1)), None, 4,
             'member "a.txt": its solid block uses the x86 branch filter'),
            ("no end-marker flag", by_python("flag", Member("a.txt", a, 1, flags=0)), None, 4,
             'member "a.txt": a solid-block member without the end-marker flag'),
            ("lost after", by_python("lost", Member("a.txt", a, 1), Member("b.txt", b, 1, offset_in_block=1),
                                     Member("c.bin", c, 1)), None, 4, 'member "c.bin": lost: a member before it'),
            ("trailing data", by_python("trail", Member("a.txt", a, 1), stream_edit=lambda _, d: d + b"junk"), None, 4,
             'member "a.txt": its solid block holds data after its LZMA end marker'),
            ("cut stream", by_python("cut", Member("a.txt", a, 1), Member("b.txt", b, 1),
                                     stream_edit=lambda _, d: d[:len(d) // 2]), None, 4, 'member "b.txt": lost: '),
        ]
        spoiled_copies_test(self, cases)


if __name__ == "__main__":
    unittest.main()
