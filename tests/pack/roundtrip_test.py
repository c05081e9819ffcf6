"""Round trips through the real stub: zimbro-pack makes an installer, the
independent readers test it, and the stub of this build tree extracts it
silently under Wine; every byte, time, read-only attribute and empty folder
must come out as it went in. One ctest test per row of ROWS."""
import os
import shutil
import subprocess
import sys
import time
import unittest
import zipfile

from pack_support import (DEMO, SOURCE, PackTestCase, check_readers, many_files, mixed_tree, pieced_tree,
                          read, real_method, test_certificate, tree_entries, write, zip64_installer)

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
import solid_writer  # noqa: E402

WINE = os.environ.get("WINE", "wine")

# name: (tree maker, extra arguments, fixed time or None)
ROWS = {
    "level0_demo": (lambda root: shutil.copytree(DEMO, root), ["-0"], None),
    "level1": (mixed_tree, ["-1"], None),
    "level9": (mixed_tree, [], None),
    "level12": (mixed_tree, ["-12", "--mtime", "2024-05-01 10:00:30"], (2024, 5, 1, 10, 0, 30)),
    "zopfli": (mixed_tree, ["--zopfli", "3"], None),
    "thousand_files": (many_files, [], None),
    "messages_block": (mixed_tree, ["--messages", "BLOCK"], None),
    "password": (mixed_tree, ["--encryption", "traditional", "--password", "s3cr3t"], None),
    "pieces": (pieced_tree, [], None),
    # LZMA members through the stub's own decoder, plain and encrypted.
    "lzma": (mixed_tree, ["--method", "lzma"], None),
    "lzma_password": (mixed_tree, ["--method", "lzma", "--encryption", "traditional", "--password", "s3cr3t"], None),
    # AES members (the default with a password), over every method the packer writes.
    "aes256": (mixed_tree, ["--password", "s3cr3t"], None),
    "lzma_aes128": (mixed_tree, ["--method", "lzma", "--encryption", "aes128", "--password", "s3cr3t"], None),
    # Solid blocks through the stub's decoder that runs from member to
    # member; a thousand small files in blocks of 1 MiB, and a mixed tree.
    "solid": (mixed_tree, ["--solid"], None),
    "solid_thousand_files": (many_files, ["--solid", "--solid-block-size", "1"], None),
}

def type_into(title, stub, text=None):
    """Types text (if any) and Return into the stub's window of that title,
    as a user would, once it shows; nothing when the stub ends first."""
    found = []
    for _ in range(300):
        # Only a mapped window takes the focus: a window is named before it
        # shows, and focusing it then fails with BadMatch.
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % title],
                               capture_output=True, text=True).stdout.split()
        if found or stub.poll() is not None:
            break
        time.sleep(0.1)
    if found:
        subprocess.run(["xdotool", "windowfocus", "--sync", found[0]], check=True)
        if text:
            subprocess.run(["xdotool", "type", "--delay", "20", text], check=True)
        subprocess.run(["xdotool", "key", "Return"], check=True)


def answer_password(password, stub):
    type_into("Enter password", stub, password)


def run_stub(case, installer, password=None, timeout=120):
    """The stub extracts the installer silently into a fresh folder; gives the folder."""
    out = case.path("out")
    os.makedirs(out)
    stub = subprocess.Popen([WINE, installer, "/s"], cwd=out, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if password:
        answer_password(password, stub)
    _, err = stub.communicate(timeout=timeout)
    case.assertEqual(stub.returncode, 0, err.decode("utf-8", "replace")[-2000:])
    return out


GERMAN = '***messages**\r\n664abaa4="Fehler"\r\nc2f7663d="Entpacke %s"\r\n3478d231="110*100"\r\n'


class RoundTrip(PackTestCase):
    def round_trip(self, make_tree, args, fixed):
        tree = self.path("tree")
        make_tree(tree)
        write(self.path("block.txt"), GERMAN)
        args = [self.path("block.txt") if a == "BLOCK" else a for a in args]
        installer = self.path("setup.exe")
        self.pack(installer, *args, tree)

        password = args[args.index("--password") + 1] if "--password" in args else None
        if "--solid" in args:
            # Other readers list a solid installer but decode none of its
            # blocks: the format's own reader in the tests does.
            members = solid_writer.read_solid_archive(read(installer))
            self.assertIn(solid_writer.METHOD_SOLID, [m["method"] for m in members])
            methods = {}
        else:
            methods = {info.filename: real_method(info) for info in check_readers(self, installer, password)}
        if "noise.bin" in methods:
            self.assertEqual(methods["noise.bin"], zipfile.ZIP_STORED)  # it does not shrink
        lzma = "lzma" in args
        if lzma:
            self.assertIn(zipfile.ZIP_LZMA, methods.values())  # the stub's LZMA decoder has work
        elif "docs/guide.txt" in methods:
            self.assertEqual(methods["docs/guide.txt"], zipfile.ZIP_STORED if "-0" in args else zipfile.ZIP_DEFLATED)

        out = run_stub(self, installer, password)
        expected, extracted = tree_entries(tree), tree_entries(out)
        self.assertEqual(sorted(extracted), sorted(expected))
        want_time = int(time.mktime(fixed + (0, 0, -1))) if fixed else None
        for name, (kind, data, mtime, read_only) in expected.items():
            got = extracted[name]
            self.assertEqual(got[0], kind, name)
            if kind == "file":
                self.assertEqual(got[1], data, name)
                # DOS times count in steps of two seconds.
                self.assertEqual(got[2], want_time if fixed else mtime - mtime % 2, name)
                self.assertEqual(got[3], read_only, name)


# The largest script the packer takes, whose Path only a script that was
# read can send the files to.
LARGEST_SCRIPT = 32745


def largest_script(title):
    head = "Title=%s\r\nPath=.\\big2\r\n" % title
    filler = ";" + "x" * 97 + "\r\n"
    body = head + filler * ((LARGEST_SCRIPT - len(head)) // len(filler))
    return body + ";" * (LARGEST_SCRIPT - len(body) - 2) + "\r\n"


def press_install(title, stub):
    """The start dialog opens with Install as its default button."""
    type_into(title, stub)


class SignedRoundTrip(PackTestCase):
    """A branded and signed installer reads as a plain one: its certificate
    table, after the archive, is not where the stub looks for the script, and
    its rewritten resources still serve its dialogs."""

    def run_signed(self, chain, through_dialog):
        certs = self.path("certs")
        os.makedirs(certs)
        key, bundle = test_certificate(certs, chain=chain)
        write(self.path("script.txt"), largest_script("Signed %d" % chain))
        self.assertEqual(os.path.getsize(self.path("script.txt")), LARGEST_SCRIPT)
        installer = self.path("setup.exe")
        # Branded as a publisher ships it, then signed.
        icon = self.path("brand.ico")
        subprocess.run(["convert", "-size", "32x32", "gradient:navy-orange", "(", "-clone", "0", "-resize", "16x16",
                        ")", icon], check=True)
        self.pack(installer, "--script", self.path("script.txt"), "--icon", icon, "--version-info",
                  "ProductName=Signed %d" % chain, "--version-info", "FileVersion=1.%d" % chain,
                  "--execution-level", "asInvoker", "--sign-cert", bundle, "--sign-key", key, DEMO)
        done = subprocess.run(["osslsigncode", "verify", "-in", installer, "-CAfile", bundle], capture_output=True)
        self.assertEqual(done.returncode, 0, done.stdout)
        out = self.path("out")
        os.makedirs(out)
        stub = subprocess.Popen([WINE, installer] + ([] if through_dialog else ["/s"]), cwd=out,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if through_dialog:
            press_install("Signed %d" % chain, stub)
        _, err = stub.communicate(timeout=120)
        self.assertEqual(stub.returncode, 0, err.decode("utf-8", "replace")[-2000:])
        # Every file, byte for byte, in the folder only the script names (times: see RoundTrip).
        contents = lambda root: {name: entry[:2] for name, entry in tree_entries(root).items()}
        self.assertEqual(contents(os.path.join(out, "big2")), contents(DEMO))


for chain_length in (1, 3):
    for dialog in (False, True):
        setattr(SignedRoundTrip, "test_chain%d_%s" % (chain_length, "dialog" if dialog else "silent"),
                lambda self, c=chain_length, d=dialog: self.run_signed(c, d))


class Zip64RoundTrip(PackTestCase):
    """Zip64 installers of other writers through the stub. The packer's own
    (70,000 members, a member of 5 GiB) go through it in make test-large:
    their size is the point, and it takes minutes under Wine."""

    def contents(self, root):
        return {name: entry[:2] for name, entry in tree_entries(root).items()}

    def zip64_writer(self, writer):
        installer, source = zip64_installer(self.work, writer)
        self.assertEqual(self.contents(run_stub(self, installer)), self.contents(source))

    def test_python_force_zip64(self):
        self.zip64_writer("python")

    def test_zip_fz(self):
        self.zip64_writer("zip")


def make_row(row):
    return lambda self: self.round_trip(*ROWS[row])


for row_name in ROWS:
    setattr(RoundTrip, "test_" + row_name, make_row(row_name))


if __name__ == "__main__":
    unittest.main()
