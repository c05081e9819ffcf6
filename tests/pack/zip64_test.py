"""Zip64 in zimbro-pack's installers, without Wine: written only where a
value needs it (a classic archive otherwise), read back by the packer, by
unzip, 7-Zip and Python alike; --list and --test on Zip64 installers of
other writers, and on damaged Zip64 records."""
import os
import shutil
import struct
import subprocess
import unittest
import zipfile

from pack_support import (STUB, ZIP64_END, ZIP64_LOCATOR, PackTestCase, check_readers, empty_files, mixed_tree,
                          pieced_tree, read, run, write, zip64_installer)


def archive_part(installer):
    return read(installer)[os.path.getsize(STUB):]


def central_headers(data):
    """(offset, version made by, version needed, extra length) of each central header."""
    found, at = [], data.find(b"PK\x01\x02")
    while at >= 0:
        made, needed = struct.unpack_from("<HH", data, at + 4)
        found.append((at, made, needed, struct.unpack_from("<H", data, at + 30)[0]))
        at = data.find(b"PK\x01\x02", at + 46)
    return found


class Zip64Test(PackTestCase):
    @classmethod
    def setUpClass(cls):
        # Made once: 70,000 empty files take about a second.
        cls.many = empty_files(os.path.join(os.environ["ZIMBRO_PACK_SCRATCH"], "many"), 70000)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.many, ignore_errors=True)

    def test_small_installers_stay_classic(self):
        tree = mixed_tree(self.path("tree"))
        aes_field = bytes.fromhex("0199070002004145030000")  # AE-2, AES-256, then the real method
        for args in (["-0"], [], ["--password", "pw", "--encryption", "traditional"], ["--password", "pw"]):
            with self.subTest(args):
                aes = args[-1:] == ["pw"]
                installer = self.path("setup.exe")
                self.pack(installer, *args, tree)
                data = archive_part(installer)
                self.assertNotIn(ZIP64_END, data)
                self.assertNotIn(ZIP64_LOCATOR, data)
                headers = central_headers(data)
                self.assertEqual(len(headers), 12)
                for _, made, needed, extra in headers:
                    # AES members need version 5.1 and carry their field; folders are not encrypted.
                    self.assertIn((made, needed, extra), [(0x0314, 10, 0), (0x0314, 20, 0)] + [(0x0333, 51, 11)] * aes)
                infos = check_readers(self, installer, "pw" if "--password" in args else None)
                for i in infos:
                    want = (aes_field[:-2], 51) if aes and not i.is_dir() else (b"", i.extract_version)
                    self.assertEqual((i.extra[:-2], i.extract_version), want, i.filename)
                    self.assertIn(i.extract_version, (10, 20, 51))
                self.assertIn("Zip64: none (a classic archive)", run("--list", installer)[1])

    def test_more_than_65535_members(self):
        installer = self.path("setup.exe")
        self.pack(installer, "-0", self.many)
        data = archive_part(installer)
        end = data.rindex(b"PK\x05\x06")
        self.assertEqual(struct.unpack_from("<HH", data, end + 8), (0xFFFF, 0xFFFF))
        locator = data.rindex(ZIP64_LOCATOR)
        self.assertEqual(locator, end - 20)
        record = data.rindex(ZIP64_END)
        self.assertEqual(locator - record, 56)
        self.assertEqual(struct.unpack_from("<HII", data, record + 14), (45, 0, 0))
        self.assertEqual(struct.unpack_from("<QQ", data, record + 24), (70000, 70000))
        # Only the directory needs Zip64: the members stay classic.
        self.assertEqual({extra for _, _, _, extra in central_headers(data)}, {0})
        self.assertEqual(len(check_readers(self, installer)), 70000)
        code, out, _ = run("--list", installer)
        self.assertEqual(code, 0)
        self.assertIn("Zip64: a Zip64 end record at offset %s and its locator; 0 members with a Zip64 field"
                      % format(os.path.getsize(STUB) + record, ","), out)
        self.assertIn("members: 70,000 (70,000 files, 0 folders)", out)
        code, out, err = run("--test", installer)
        self.assertEqual(code, 0, out + err)
        self.assertIn("70,000 members tested: 70,000 intact", out)

    def test_members_in_pieces(self):
        # Encrypted pieces are read by unzip, 7-Zip and the packer (Python
        # decrypts too slowly for this size).
        tree = pieced_tree(self.path("tree"))
        # AES members in pieces are read back by 7-Zip and the packer only:
        # the key stream and the authentication code run on from piece to
        # piece, and the member that does not shrink is made again, Stored,
        # with a salt of its own.
        methods = {"-0": ("Stored", "Stored"), "-1": ("Deflate", "Stored"),
                   "traditional": ("Deflate", "Stored"), "aes128": ("Deflate", "Stored")}
        if "TSAN_OPTIONS" in os.environ:
            # The ciphers, byte by byte under the sanitizer, take minutes
            # here; the workers run the same with and without them.
            del methods["traditional"], methods["aes128"]
        for option, (text, noise) in methods.items():
            with self.subTest(option):
                installer = self.path("setup.exe")
                password = None if option.startswith("-") else "pw"
                self.pack(installer, *(["-1", "--password", password, "--encryption", option] if password else [option]),
                          tree)
                infos = {i.filename: i for i in check_readers(self, installer, password, python=not password)}
                for name, method in (("text.bin", text), ("noise.bin", noise)):
                    wanted = zipfile.ZIP_STORED if method == "Stored" else 8
                    if option == "aes128":  # the method under the encryption is in the AES field
                        self.assertEqual((infos[name].compress_type, infos[name].extra[-5:]),
                                         (99, bytes([0x41, 0x45, 1, wanted, 0])), name)
                    else:
                        self.assertEqual(infos[name].compress_type, wanted, name)
                if not password:
                    with zipfile.ZipFile(installer) as z:
                        for name in infos:
                            self.assertEqual(z.read(name), read(os.path.join(tree, name)), name)
                code, out, err = run("--test", installer, *(["--password", password] if password else []))
                self.assertEqual(code, 0, out + err)

    def test_installers_of_other_writers(self):
        # writer: what --list says of its Zip64
        for writer, says in (("python", "Zip64: none (a classic archive)"),
                             ("zip", "Zip64: a Zip64 end record at offset")):
            with self.subTest(writer):
                installer, _ = zip64_installer(self.work, writer)
                code, out, err = run("--test", installer)
                self.assertEqual(code, 0, out + err)
                self.assertIn("members tested: %d intact" % (2 if writer == "python" else 3), out)
                code, out, _ = run("--list", installer)
                self.assertIn(says, out)
                self.assertIn("2 files, %s), 19,584 bytes" % ("0 folders" if writer == "python" else "1 folder"), out)

    def test_damaged_zip64_records(self):
        zip_fz, _ = zip64_installer(self.work, "zip")
        classic = self.path("classic.exe")
        self.pack(classic, mixed_tree(self.path("tree")))

        def patch(installer, find, offset, value):
            def spoil(path):
                data = bytearray(read(path))
                at = find(data)
                data[at + offset:at + offset + len(value)] = value
                with open(path, "wb") as f:
                    f.write(data)
            return installer, spoil

        marker = b"\xff\xff\xff\xff"
        # name: (installer, spoil, what --test says)
        cases = {
            "no Zip64 end record": (*patch(zip_fz, lambda d: d.rindex(ZIP64_END), 0, b"PK\x00\x00"),
                                    "names no Zip64 end record"),
            "more members than the directory holds": (*patch(zip_fz, lambda d: d.rindex(ZIP64_END), 32,
                                                             struct.pack("<Q", 1 << 48)), "a damaged central directory"),
            "directory past the end": (*patch(zip_fz, lambda d: d.rindex(ZIP64_END), 40, struct.pack("<Q", 1 << 40)),
                                       "a damaged archive (its directory would"),
            "central size marker without a Zip64 field": (*patch(classic, lambda d: d.rindex(b"PK\x01\x02"), 24, marker),
                                                          "need a Zip64 field it does not hold"),
            "local size markers without a Zip64 field": (*patch(classic, lambda d: d.index(b"PK\x03\x04"), 18, marker * 2),
                                                         "local header's sizes need a Zip64 field"),
        }
        for name, (installer, spoil, says) in cases.items():
            with self.subTest(name):
                copy = self.path("case.exe")
                shutil.copy(installer, copy)
                spoil(copy)
                code, out, err = run("--test", copy)
                self.assertEqual(code, 4, out + err)
                self.assertIn(says, out + err)


if __name__ == "__main__":
    unittest.main()
