"""What a publisher needs to ship: a branded stub (icon, version information,
execution level) read back by our --list and by an independent PE reader,
installers signed through osslsigncode and verified, and a packer that fits
a build pipeline (exit codes, modes, quiet and verbose, strict, secrets from
files and the environment, excludes)."""
import json
import os
import shutil
import subprocess
import unittest
import zipfile

from pack_support import DEMO, PACK, STUB, PackTestCase, read, run, seven_zip_test, test_certificate, write

# Debian's python3-pefile lives with the system's Python.
SYSTEM_PYTHON = "/usr/bin/python3"

PEFILE_REPORT = r"""
import json, sys, pefile
pe = pefile.PE(sys.argv[1])
size = int(sys.argv[2])
strings = {}
for info in getattr(pe, "FileInfo", [[]])[0]:
    for table in getattr(info, "StringTable", []):
        strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
fixed = pe.VS_FIXEDFILEINFO[0] if hasattr(pe, "VS_FIXEDFILEINFO") else None
types = {}
for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
    types[entry.id or str(entry.name)] = len(entry.directory.entries)
manifest = ""
for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
    if entry.id == 24:
        data = entry.directory.entries[0].directory.entries[0].data.struct
        manifest = pe.get_data(data.OffsetToData, data.Size).decode()
stub = pefile.PE(data=open(sys.argv[1], "rb").read()[:size])
relocations = [[entry.rva, entry.type] for block in getattr(stub, "DIRECTORY_ENTRY_BASERELOC", [])
               for entry in block.entries]
print(json.dumps({"strings": strings, "types": types, "manifest": manifest, "relocations": relocations,
                  "file_version": [fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                                   fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF] if fixed else None,
                  "checksum": stub.verify_checksum()}))
"""


def make_icon(path, sizes):
    """A multi-size icon made by ImageMagick."""
    clones = []
    for size in sizes[1:]:
        clones += ["(", "-clone", "0", "-resize", "%dx%d" % (size, size), ")"]
    subprocess.run(["convert", "-size", "%dx%d" % (sizes[0], sizes[0]), "gradient:navy-orange", *clones, path],
                   check=True)


def pe_report(path, stub_bytes):
    done = subprocess.run([SYSTEM_PYTHON, "-c", PEFILE_REPORT, path, str(stub_bytes)], capture_output=True, text=True)
    if done.returncode != 0:
        raise AssertionError(done.stderr)
    return json.loads(done.stdout)


def stub_size(installer):
    _, listing, _ = run("--list", installer)
    line = next(l for l in listing.splitlines() if l.startswith("stub: "))
    return int(line.split()[1].replace(",", ""))


class BrandingTest(PackTestCase):
    def test_icon_version_and_level_read_back(self):
        make_icon(self.path("brand.ico"), [48, 32, 16])
        # The stub's base relocations follow its resources; a branded copy
        # keeps every one of them.
        relocations = pe_report(STUB, os.path.getsize(STUB))["relocations"]
        self.assertTrue(relocations)
        for name, args, listed, checks in [
            ("everything", ["--icon", self.path("brand.ico"), "--version-info", "ProductName=Zimbro Demo",
                            "--version-info", "FileVersion=2.5.1", "--version-info", "CompanyName=Zimbro \u00c9ditions",
                            "--version-info", "LegalCopyright=\u00a9 2026", "--execution-level", "asInvoker"],
             ['version information: ProductName="Zimbro Demo", FileVersion="2.5.1", CompanyName="Zimbro \u00c9ditions"',
              "file version 2.5.1.0, product version 2.5.1.0", "execution level: asInvoker",
              "icon: 48x48, 32 bits; 32x32, 32 bits; 16x16, 32 bits"],
             {"strings": {"ProductName": "Zimbro Demo", "FileVersion": "2.5.1", "CompanyName": "Zimbro \u00c9ditions",
                          "LegalCopyright": "\u00a9 2026"}, "file_version": [2, 5, 1, 0], "level": "asInvoker"}),
            ("product version only", ["--version-info", "ProductVersion=10.0.19041.1"],
             ["file version 10.0.19041.1, product version 10.0.19041.1"],
             {"strings": {"ProductVersion": "10.0.19041.1"}, "file_version": [10, 0, 19041, 1],
              "level": "requireAdministrator"}),
            ("level", ["--execution-level", "highestAvailable"], ["execution level: highestAvailable"],
             {"strings": {}, "level": "highestAvailable"}),
            ("none", [], ["version information: none", "execution level: requireAdministrator"],
             {"strings": {}, "level": "requireAdministrator"}),
        ]:
            with self.subTest(name):
                installer = self.path(name + ".exe")
                self.pack(installer, *args, DEMO)
                _, listing, _ = run("--list", installer)
                for line in listed:
                    self.assertIn(line, listing)
                seen = pe_report(installer, stub_size(installer))
                self.assertEqual(seen["relocations"], relocations)
                self.assertEqual(seen["strings"], checks["strings"])
                self.assertIn('level="%s"' % checks["level"], seen["manifest"])
                self.assertTrue(seen["checksum"])
                if "file_version" in checks:
                    self.assertEqual(seen["file_version"], checks["file_version"])
                self.assertIsNone(zipfile.ZipFile(installer).testzip())
                if not args:  # no branding: the stub travels as it is
                    self.assertEqual(read(installer)[:os.path.getsize(STUB)], read(STUB))

    def test_bad_branding_is_refused(self):
        write(self.path("not.ico"), "plain text")
        for args, code, says in [
            (["--icon", self.path("not.ico")], 4, "not an icon file"),
            (["--icon", self.path("missing.ico")], 4, "no such file"),
            (["--version-info", "Flavour=x"], 5, "the keys are ProductName"),
            (["--version-info", "FileVersion=beta"], 5, "a version begins with a number"),
            (["--version-info", "ProductName"], 5, "takes KEY=VALUE"),
            (["--execution-level", "root"], 5, "one of asInvoker, highestAvailable, requireAdministrator"),
        ]:
            with self.subTest(says):
                code_, out, err = run("-o", self.path("s.exe"), "--stub", STUB, *args, DEMO)
                self.assertEqual((code_, out), (code, ""), err)
                self.assertIn(says, err)
                self.assertFalse(os.path.exists(self.path("s.exe")))


class SigningTest(PackTestCase):
    def test_signed_by_the_packer_and_verified(self):
        certs = self.path("certs")
        os.makedirs(certs)
        key, chain = test_certificate(certs, chain=3)
        write(self.path("pass.txt"), "s3cret\n")
        p12 = self.path("signer.p12")
        subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", chain, "-out", p12,
                        "-passout", "pass:s3cret"], check=True, capture_output=True)
        for name, args, env in [
            ("certificate and key", ["--sign-cert", chain, "--sign-key", key], None),
            ("pkcs12, password file", ["--sign-pkcs12", p12, "--sign-password-file", self.path("pass.txt")], None),
            ("pkcs12, password variable", ["--sign-pkcs12", p12, "--sign-password-env", "SIGN_PASS"],
             {"SIGN_PASS": "s3cret"}),
        ]:
            with self.subTest(name):
                installer = self.path("signed.exe")
                out, _ = self.pack(installer, *args, "--version-info", "ProductName=Signed", DEMO, env=env)
                self.assertIn("signed by CN = Zimbro Test Signer 2", out)
                done = subprocess.run(["osslsigncode", "verify", "-in", installer, "-CAfile", chain],
                                      capture_output=True, text=True)
                self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
                _, listing, _ = run("--list", installer)
                self.assertIn("signed by CN = Zimbro Test Signer 2", listing)
                self.assertLess(stub_size(installer), os.path.getsize(STUB) + 20000)  # the signature is not the stub's
                self.assertEqual(run("--test", installer)[0], 0)
                self.assertIsNone(zipfile.ZipFile(installer).testzip())

    def test_signing_failures_leave_nothing(self):
        certs = self.path("certs")
        os.makedirs(certs)
        key, chain = test_certificate(certs)
        p12 = self.path("signer.p12")
        subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", chain, "-out", p12,
                        "-passout", "pass:right"], check=True, capture_output=True)
        write(self.path("wrong.txt"), "wrong\n")
        for args, env, code, says in [
            (["--sign-pkcs12", p12, "--sign-password-file", self.path("wrong.txt")], None, 4, "signing failed"),
            (["--sign-pkcs12", p12, "--sign-password-env", "NOT_SET_ANYWHERE"], None, 4, "is not set"),
            (["--sign-cert", chain], None, 5, "--sign-cert and --sign-key go together"),
            (["--sign-password-file", self.path("wrong.txt")], None, 5, "without a certificate"),
            (["--sign-pkcs12", p12, "--sign-cert", chain, "--sign-key", key], None, 5, "not both"),
        ]:
            with self.subTest(says):
                code_, out, err = run("-o", self.path("s.exe"), "--stub", STUB, *args, DEMO, env=env)
                self.assertEqual((code_, out), (code, ""), err)
                self.assertIn(says, err)
                self.assertEqual(sorted(n for n in os.listdir(self.work) if n.startswith(".") or n.endswith(".exe")), [])


class PipelineTest(PackTestCase):
    def test_exit_codes_and_modes(self):
        write(self.path("bad.txt"), "Path =C:\\x\n")
        write(self.path("warn.txt"), "Titel=x\n")
        write(self.path("good.txt"), "Title=x\n")
        out = self.path("s.exe")
        for args, code, says in [
            (["--version"], 0, "zimbro-pack "),
            (["--check", self.path("warn.txt")], 1, ""),
            (["--check", self.path("warn.txt"), "--strict"], 2, ""),
            (["-o", out, "--stub", STUB, "--script", self.path("bad.txt"), DEMO], 2, "in the script"),
            (["-o", out, "--stub", STUB, "--script", self.path("warn.txt"), "--strict", DEMO], 2,
             "and --strict: no installer written"),
            (["-o", out, "--stub", STUB, self.path("missing")], 4, "no such file or folder"),
            (["--bogus"], 5, "unknown option --bogus"),
            (["--list", out, "-9"], 5, "-9 has no meaning with --list"),
            (["--check", self.path("good.txt"), "--password", "x"], 5, "--password has no meaning with --check"),
            (["--test", out, "--icon", "x.ico"], 5, "--icon has no meaning with --test"),
            (["--messages-template", "--script", "x"], 5, "--script has no meaning with --messages-template"),
            (["-o", out, "-q", "-v", DEMO], 5, "choose -q or -v"),
            (["-o", out, "--password", "a", "--password-env", "B", DEMO], 5, "give the password one way"),
        ]:
            with self.subTest(" ".join(args[:3])):
                got, stdout, err = run(*args)
                self.assertEqual(got, code, stdout + err)
                self.assertIn(says, stdout + err)
                if code >= 2:
                    self.assertFalse(os.path.exists(out))

    def test_quiet_verbose_secrets_and_excludes(self):
        tree = self.path("app")
        for name in ["app.exe", "readme.txt", "build/obj.o", "build/keep.txt", "src/a.c", "src/b.tmp", ".git/HEAD"]:
            write(os.path.join(tree, name), name)
        out = self.path("s.exe")
        code, stdout, err = run("-o", out, "--stub", STUB, "-q", "--password", "pw", tree)
        self.assertEqual((code, stdout, err), (0, "", ""))  # not even the weak-encryption warning
        code, stdout, err = run("-o", out, "--stub", STUB, "-v", "--exclude", "*.tmp", "--exclude", ".git",
                                "--exclude", "build/*.o", tree)
        self.assertEqual(code, 0, err)
        names = sorted(i.filename for i in zipfile.ZipFile(out).infolist())
        self.assertEqual(names, ["app.exe", "build/keep.txt", "readme.txt", "src/a.c"])
        self.assertEqual(len([l for l in stdout.splitlines() if l.startswith("  ")]), 4)
        self.assertEqual(len([l for l in stdout.splitlines() if not l.startswith("  ")]), 1)  # one summary line
        write(self.path("pw.txt"), "from a file\n")
        for source, env in [(["--password-file", self.path("pw.txt")], None),
                            (["--password-env", "PACK_PW"], {"PACK_PW": "from a file"})]:
            with self.subTest(source[0]):
                self.pack(out, *source, tree, env=env)
                seven_zip_test(self, out, "from a file")
                self.assertEqual(run("--test", out, *source, env=env)[0], 0)


if __name__ == "__main__":
    unittest.main()
