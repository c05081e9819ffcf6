"""AES members from zimbro-pack, without Wine: 7-Zip opens every strength
over every method with the right password and refuses a wrong one, the
password's UTF-8 makes the keys, a changed byte fails the authentication
code, and the keys, verifier and code recomputed in Python (Debian's
python3-cryptography) match what the packer wrote."""
import os
import shutil
import struct
import subprocess
import unittest
import zipfile

from pack_support import AES_METHOD, BASE_TIME, STUB, PackTestCase, read, run, seven_zip_test, write
from pack_test import damage, data_offset, faulty_compressor, spoiled_copies_test

UTF8 = dict(os.environ, LC_ALL="C.UTF-8")


def small_tree(root):
    """Text that Deflate shrinks, a program LZMA shrinks most, an empty file,
    bytes that do not shrink and an empty folder."""
    write(os.path.join(root, "docs", "guide.txt"), "how to install it, step by step\n" * 300)
    write(os.path.join(root, "bin", "program.exe"), read(STUB), BASE_TIME + 2)
    write(os.path.join(root, "empty.txt"), b"", BASE_TIME + 4)
    write(os.path.join(root, "noise.bin"), os.urandom(5000), BASE_TIME + 6)
    os.makedirs(os.path.join(root, "logs"))
    return root


def aes_field(info):
    """(version, strength, method under the encryption) of a member's AES field."""
    at = 0
    while at + 4 <= len(info.extra):
        tag, size = struct.unpack_from("<HH", info.extra, at)
        if tag == 0x9901:
            version, vendor, strength, method = struct.unpack_from("<H2sBH", info.extra, at + 4)
            assert vendor == b"AE" and size == 7
            return version, strength, method
        at += 4 + size
    return None


def seven_zip(*args):
    done = subprocess.run(["7zz", *args], capture_output=True, env=UTF8)
    return done.returncode, done.stdout.decode("utf-8", "replace") + done.stderr.decode("utf-8", "replace")


# encryption, packer arguments, {member: method under the encryption}
KINDS = [
    ("aes128", ["-0"], {"docs/guide.txt": 0, "bin/program.exe": 0}),
    ("aes128", [], {"docs/guide.txt": 8, "bin/program.exe": 8}),
    ("aes128", ["--method", "lzma"], {"bin/program.exe": 14}),
    ("aes256", ["-0"], {"docs/guide.txt": 0, "bin/program.exe": 0}),
    ("aes256", [], {"docs/guide.txt": 8, "noise.bin": 0}),
    ("aes256", ["--method", "lzma"], {"bin/program.exe": 14, "empty.txt": 0}),
]


class AesTest(PackTestCase):
    def test_seven_zip_opens_every_strength_and_method(self):
        tree = small_tree(self.path("tree"))
        for encryption, args, methods in KINDS:
            with self.subTest(encryption, args=args):
                installer = self.path("setup.exe")
                self.pack(installer, "--encryption", encryption, "--password", "pw", *args, tree)
                strength = 1 if encryption == "aes128" else 3
                with zipfile.ZipFile(installer) as z:
                    infos = {i.filename: i for i in z.infolist()}
                for name, method in methods.items():
                    info = infos[name]
                    self.assertEqual((info.compress_type, info.flag_bits & 1, info.CRC), (AES_METHOD, 1, 0), name)
                    self.assertEqual(aes_field(info), (2, strength, method), name)
                self.assertIsNone(aes_field(infos["logs/"]))  # a folder holds nothing to encrypt
                seven_zip_test(self, installer, "pw")
                out = self.path("out")
                shutil.rmtree(out, ignore_errors=True)
                code, said = seven_zip("x", "-ppw", "-o" + out, installer)
                self.assertEqual(code, 0, said)
                for name in ("docs/guide.txt", "bin/program.exe", "empty.txt", "noise.bin"):
                    self.assertEqual(read(os.path.join(out, name)), read(os.path.join(tree, name)), name)
                code, said = seven_zip("t", "-pwrong", installer)
                self.assertNotEqual(code, 0, said)
                self.assertIn("Wrong password", said)
                code, listing, _ = run("--list", installer)
                self.assertRegex(listing, r"(?m)^ +[\d,]+ +[\d,]+  %s .* AES-%d +bin/program\.exe$"
                                 % ({0: "Stored", 8: "Deflate", 14: "LZMA"}[aes_field(infos["bin/program.exe"])[2]],
                                    128 if strength == 1 else 256))
                self.assertEqual(run("--test", installer, "--password", "pw")[0], 0)
                code, said, _ = run("--test", installer)
                self.assertEqual(code, 4)
                self.assertIn('member "docs/guide.txt": encrypted: give --password to test it', said)

    def test_passwords_as_the_prompt_gives_them_back(self):
        tree = small_tree(self.path("tree"))
        write(self.path("latin1.txt"), b"caf\xe9\n")
        installer = self.path("setup.exe")
        longer = "some other AES unzips take no more than 99 bytes"
        # password, encryption, exit code, what the packer says, 7-Zip opens it
        cases = [
            ("caf\u00e9", "aes256", 0, "", True),
            ("\u00e9" * 49 + "a", "aes256", 0, "", True),       # 99 bytes of UTF-8, as far as 7-Zip goes
            ("\u00e9" * 127, "aes128", 0, longer, False),       # 127 characters, 254 bytes: the stub's alone
            ("\u00e9" * 128, "aes256", 5, "more than 127 characters", False),
            ("\U0001f511" * 24, "aes256", 0, "", True),          # outside the BMP: two characters each
            ("\U0001f511" * 63 + "a", "aes256", 0, longer, False),
            ("\U0001f511" * 64, "aes256", 5, "more than 127 characters", False),
            (None, "aes256", 5, "--password: not UTF-8 text (byte \\xE9 at byte 4)", False),
        ]
        for password, encryption, code, says, seven_zip_opens in cases:
            with self.subTest(password[:8] if password else "latin1", encryption=encryption):
                given = ["--password", password] if password else ["--password-file", self.path("latin1.txt")]
                _, err = self.pack(installer, "--encryption", encryption, *given, tree, expect=code)
                self.assertIn(says, err)
                if seven_zip_opens:
                    seven_zip_test(self, installer, password)
                if code == 0:
                    self.assertEqual(run("--test", installer, "--password", password)[0], 0)
        # From the environment too; the keys' bytes are UTF-8's (which
        # IndependentCheckTest recomputes).
        self.pack(installer, "--password-env", "PW", tree, env={"PW": "caf\u00e9"})
        seven_zip_test(self, installer, "caf\u00e9")
        self.assertNotEqual(seven_zip("t", "-pcafe", installer)[0], 0)

    def test_command_line(self):
        for args, says in [
                (["--encryption", "aes256", "TREE"], "--encryption goes with a password"),
                (["--encryption", "aes512", "--password", "x", "TREE"], "--encryption takes aes256, aes128 or traditional"),
                (["--encryption", "traditional", "--solid", "--password", "x", "TREE"], "--solid cannot go with a password"),
        ]:
            with self.subTest(says):
                _, err = self.pack(self.path("s.exe"), *[small_tree(self.path("t")) if a == "TREE" else a for a in args],
                                   expect=5)
                self.assertIn(says, err)
                shutil.rmtree(self.path("t"))
        code, _, err = run("--test", STUB, "--encryption", "aes256", "--password", "x")
        self.assertEqual(code, 5)
        self.assertIn("--encryption has no meaning with --test", err)

    def test_changed_bytes_are_caught(self):
        tree = small_tree(self.path("tree"))
        installer = self.path("setup.exe")
        self.pack(installer, "--password", "pw", tree)
        with zipfile.ZipFile(installer) as z:
            size = z.getinfo("docs/guide.txt").compress_size
        start = lambda p: data_offset(p, "docs/guide.txt")  # noqa: E731

        def field_strength(p):  # the central header's AES field says AES-128; the local one still AES-256
            data = bytearray(read(p))
            at = data.rindex(b"\x01\x99\x07\x00\x02\x00AE\x03", 0, data.rindex(b"PK\x05\x06"))
            data[at + 8] = 1
            write(p, bytes(data))

        said = 'member "docs/guide.txt": '
        cases = [  # name, spoil, what --test says
            ("data, first byte", lambda p: damage(p, lambda d: start(p) + 18, 1),
             said + "its authentication code does not match its encrypted data"),
            ("data, middle", lambda p: damage(p, lambda d: start(p) + size // 2, 0x40),
             said + "its authentication code does not match its encrypted data"),
            ("authentication code", lambda p: damage(p, lambda d: start(p) + size - 1, 1),
             said + "its authentication code does not match its encrypted data"),
            ("verifier", lambda p: damage(p, lambda d: start(p) + 16, 1), said + "the password does not open it"),
            ("field", field_strength, 'member "noise.bin": its two headers\' AES fields differ'),
        ]
        spoiled_copies_test(self, [(name, installer, spoil, 4, says) for name, spoil, says in cases],
                            ["--password", "pw"])
        for name, spoil, _ in cases[:3]:
            with self.subTest("7-Zip: " + name):
                copy = self.path("case.exe")
                shutil.copy(installer, copy)
                spoil(copy)
                code, text = seven_zip("t", "-ppw", copy)
                self.assertNotEqual(code, 0, text)
                self.assertIn("docs/guide.txt", text)

    @unittest.skipIf("TSAN_OPTIONS" in os.environ, "a library put in front of the sanitizer's runtime upsets it")
    def test_the_read_back_opens_what_it_checks(self):
        # A compressor that writes one wrong byte: under AES the fault is
        # authentic (the code covers what was encrypted), and only the
        # read-back's decryption and decoding find it.
        library = faulty_compressor(self)
        tree = small_tree(self.path("tree"))
        for method in ("deflate", "lzma"):
            with self.subTest(method):
                code, out, err = run("-o", self.path("setup.exe"), "--stub", STUB, "--method", method,
                                     "--password", "pw", tree, env={"LD_PRELOAD": library})
                self.assertEqual((code, out), (3, ""), err)
                self.assertIn("the installer just written is not intact: member", err)
                self.assertFalse(os.path.exists(self.path("setup.exe")))


class IndependentCheckTest(PackTestCase):
    def test_keys_verifier_and_code_recomputed(self):
        try:
            from cryptography.hazmat.primitives import hashes, hmac
            from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
            from cryptography.hazmat.primitives.kdf.pbkdf2 import PBKDF2HMAC
        except ImportError:
            self.skipTest("Python's cryptography module is missing (Debian's python3-cryptography)")
        tree = small_tree(self.path("tree"))
        for encryption, key_bytes in (("aes128", 16), ("aes256", 32)):
            with self.subTest(encryption):
                installer = self.path("setup.exe")
                self.pack(installer, "-0", "--encryption", encryption, "--password", "caf\u00e9", tree)
                with zipfile.ZipFile(installer) as z:
                    info = z.getinfo("docs/guide.txt")
                start = data_offset(installer, "docs/guide.txt")
                data = read(installer)[start:start + info.compress_size]
                salt, verifier = data[:key_bytes // 2], data[key_bytes // 2:key_bytes // 2 + 2]
                encrypted, code = data[key_bytes // 2 + 2:-10], data[-10:]
                derived = PBKDF2HMAC(hashes.SHA1(), 2 * key_bytes + 2, salt, 1000).derive("caf\u00e9".encode())
                self.assertEqual(derived[-2:], verifier)
                mac = hmac.HMAC(derived[key_bytes:2 * key_bytes], hashes.SHA1())
                mac.update(encrypted)
                self.assertEqual(mac.finalize()[:10], code)
                blocks = Cipher(algorithms.AES(derived[:key_bytes]), modes.ECB()).encryptor()
                counters = b"".join((n + 1).to_bytes(16, "little") for n in range((len(encrypted) + 15) // 16))
                stream = blocks.update(counters)
                plain = bytes(a ^ b for a, b in zip(encrypted, stream))
                self.assertEqual(plain, read(os.path.join(tree, "docs", "guide.txt")))
                # Each member has a salt of its own.
                other = data_offset(installer, "noise.bin")
                self.assertNotEqual(read(installer)[other:other + key_bytes // 2], salt)


if __name__ == "__main__":
    unittest.main()
