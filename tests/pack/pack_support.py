"""Shared fixtures of the zimbro-pack tests: the packer and the stub of this
build tree (from the environment ctest gives), a scratch folder per test,
trees of files with known times and attributes, and the independent readers
(Debian's unzip, 7-Zip, Python's zipfile) that every installer must satisfy."""
import os
import random
import shutil
import struct
import subprocess
import tempfile
import time
import unittest
import zipfile

PACK = os.environ["ZIMBRO_PACK"]
STUB = os.environ["ZIMBRO_PACK_STUB"]
SCRATCH = os.environ["ZIMBRO_PACK_SCRATCH"]
SOURCE = os.environ["ZIMBRO_SOURCE_DIR"]
DEMO = os.path.join(SOURCE, "examples", "demo")
# An even second in winter (no daylight-saving ambiguity), as DOS times hold.
BASE_TIME = 1702800000


def run(*args, env=None, cwd=None, preexec=None):
    """Runs zimbro-pack; gives (exit code, stdout, stderr) as text."""
    full_env = dict(os.environ)
    full_env.pop("SOURCE_DATE_EPOCH", None)  # only where a test sets it
    full_env.update(env or {})
    done = subprocess.run([PACK, *map(str, args)], capture_output=True, env=full_env, cwd=cwd, preexec_fn=preexec)
    # The x86-64 tree packs with its 64-bit copy of the stub, which the packer
    # rightly warns about; the tests look at everything else.
    err = "".join(line for line in done.stderr.decode("utf-8", "replace").splitlines(True)
                  if not line.endswith("the installer will not start on 32-bit Windows\n"))
    return done.returncode, done.stdout.decode("utf-8", "replace"), err


def write(path, data=b"", mtime=BASE_TIME, read_only=False):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())
    os.utime(path, (mtime, mtime))
    if read_only:
        os.chmod(path, 0o444)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def mixed_tree(root):
    """The demo files, empty files and folders, read-only files, incompressible
    data and a name outside ASCII, each with its own time."""
    shutil.copytree(DEMO, root, ignore=shutil.ignore_patterns("comment.txt"))
    for k, (dirpath, _, files) in enumerate(sorted(os.walk(root))):
        for name in files:
            path = os.path.join(dirpath, name)
            os.utime(path, (BASE_TIME + 2 * k, BASE_TIME + 2 * k + 86400 * k))
    rng = random.Random(11)
    write(os.path.join(root, "empty.txt"), b"", BASE_TIME + 3600)
    os.makedirs(os.path.join(root, "empty folder", "inner"))
    os.makedirs(os.path.join(root, "lonely"))
    write(os.path.join(root, "locked", "read-only.txt"), b"keep me\r\n" * 100, BASE_TIME + 7200, read_only=True)
    write(os.path.join(root, "locked", "empty read-only"), b"", BASE_TIME + 7202, read_only=True)
    write(os.path.join(root, "noise.bin"), rng.randbytes(300000), BASE_TIME + 10)
    write(os.path.join(root, "caf\u00e9", "men\u00fc.txt"), "\u00e9t\u00e9\n" * 50, BASE_TIME + 20)
    return root


def many_files(root, count=1000):
    rng = random.Random(1000)
    for i in range(count):
        text = "file %d: %s\n" % (i, " ".join(rng.choice("abc def ghi jkl") for _ in range(rng.randrange(0, 40))))
        write(os.path.join(root, "d%02d" % (i % 37), "f%04d.txt" % i), text, BASE_TIME + 2 * (i % 500))
    return root


def tree_entries(root):
    """{relative name: (kind, bytes or None, mtime, read_only)}, folders only when empty."""
    found = {}
    for dirpath, dirs, files in os.walk(root):
        relative = os.path.relpath(dirpath, root).replace(os.sep, "/")
        prefix = "" if relative == "." else relative + "/"
        if not dirs and not files and prefix:
            found[prefix] = ("folder", None, None, None)
        for name in files:
            path = os.path.join(dirpath, name)
            info = os.stat(path)
            found[prefix + name] = ("file", read(path), int(info.st_mtime), not info.st_mode & 0o222)
    return found


AES_METHOD = 99


def real_method(info):
    """A member's method; for an AES member, the one under its encryption
    (the last field of its 0x9901 extra record)."""
    if info.compress_type != AES_METHOD:
        return info.compress_type
    at = 0
    while at + 4 <= len(info.extra):
        tag, size = struct.unpack_from("<HH", info.extra, at)
        if tag == 0x9901 and size >= 7:
            return struct.unpack_from("<H", info.extra, at + 4 + 5)[0]
        at += 4 + size
    return info.compress_type


def seven_zip_test(case, installer, password):
    """`7zz t` with the password tests the installer clean."""
    done = subprocess.run(["7zz", "t", "-p" + password, installer], capture_output=True,
                          env=dict(os.environ, LC_ALL="C.UTF-8"))
    case.assertEqual(done.returncode, 0, done.stdout.decode() + done.stderr.decode())


def check_readers(case, installer, password=None, python=True):
    """unzip, 7-Zip and Python's zipfile all test the installer clean (Python
    decrypts in Python: not for tens of megabytes); gives zipfile's infos.
    Debian's unzip has no LZMA: it skips those members, and only them.
    Neither it nor Python reads AES members: 7-Zip alone tests those."""
    with zipfile.ZipFile(installer) as z:
        infos = z.infolist()
        lzma_members = sum(info.compress_type == zipfile.ZIP_LZMA for info in infos)
    if any(info.compress_type == AES_METHOD for info in infos):
        seven_zip_test(case, installer, password)
        return infos
    pw = ["-P", password] if password else []
    done = subprocess.run(["unzip", "-tq", *pw, installer], capture_output=True)
    said = done.stdout.decode() + done.stderr.decode()
    if lzma_members:
        case.assertEqual(done.returncode, 81, said)  # 81: members skipped for their method
        case.assertIn("%d file%s skipped because of unsupported compression" % (
            lzma_members, "" if lzma_members == 1 else "s"), said)
    else:
        case.assertEqual(done.returncode, 0, said)
    pw = ["-p" + password] if password else []
    done = subprocess.run(["7zz", "t", *pw, installer], capture_output=True)
    case.assertEqual(done.returncode, 0, done.stdout.decode() + done.stderr.decode())
    with zipfile.ZipFile(installer) as z:
        if password:
            z.setpassword(password.encode("cp1252"))
        if python:
            case.assertIsNone(z.testzip())
        return z.infolist()


def archive_name(info):
    """A member name as the stub sees it (code page 1252), from zipfile's reading."""
    return info.orig_filename.encode("cp437").decode("cp1252")


class PackTestCase(unittest.TestCase):
    def setUp(self):
        os.makedirs(SCRATCH, exist_ok=True)
        self.work = tempfile.mkdtemp(prefix=self.id().split(".")[-1] + "-", dir=SCRATCH)

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.work, *parts)

    def pack(self, output, *args, expect=0, env=None):
        code, out, err = run("-o", output, "--stub", STUB, *args, env=env)
        self.assertEqual(code, expect, out + err)
        return out, err


def test_certificate(folder, chain=1):
    """A code-signing key and certificate made on the spot by openssl (a
    self-signed root, and chain-1 intermediates below it); gives the paths of
    the key, the signer's certificate and the chain file for osslsigncode."""
    key = os.path.join(folder, "signer.key")
    certs, issuer = [], None
    for level in range(chain):
        name = os.path.join(folder, "cert%d" % level)
        subject = "/CN=Zimbro Test %s %d" % ("Signer" if level == chain - 1 else "CA", level)
        subprocess.run(["openssl", "req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key",
                        "-out", name + ".csr", "-subj", subject], check=True, capture_output=True)
        sign = ["-signkey", name + ".key"] if issuer is None else ["-CA", issuer + ".crt", "-CAkey", issuer + ".key"]
        ext = os.path.join(folder, "ext%d.cnf" % level)
        with open(ext, "w") as f:
            f.write("basicConstraints=critical,CA:TRUE\n" if level < chain - 1 else "extendedKeyUsage=codeSigning\n")
        subprocess.run(["openssl", "x509", "-req", "-in", name + ".csr", "-out", name + ".crt", "-days", "30",
                        "-extfile", ext, *sign, *(["-CAcreateserial"] if issuer else [])],
                       check=True, capture_output=True)
        certs.append(name + ".crt")
        issuer = name
    shutil.copy(issuer + ".key", key)
    bundle = os.path.join(folder, "chain.pem")
    with open(bundle, "w") as out:
        for cert in reversed(certs):
            out.write(read(cert).decode())
    return key, bundle


def signed_stub(folder):
    """A copy of the stub signed by osslsigncode with a fresh test certificate."""
    certs = os.path.join(folder, "certs")
    os.makedirs(certs, exist_ok=True)
    key, bundle = test_certificate(certs)
    signed = os.path.join(folder, "signed.exe")
    subprocess.run(["osslsigncode", "sign", "-certs", bundle, "-key", key, "-in", STUB, "-out", signed],
                   check=True, capture_output=True)
    shutil.rmtree(certs)
    return signed


def empty_files(root, count):
    """count empty files, 500 to a folder: the cheapest way past 65,535
    members. (Wine makes each new file look through its whole folder, so
    tens of thousands in one folder take the stub hours.) Made in memory
    where there is such a folder; gives the folder."""
    base = "/dev/shm" if os.access("/dev/shm", os.W_OK) else os.path.dirname(root)
    folder = tempfile.mkdtemp(prefix="many-", dir=base)
    for i in range(count):
        if i % 500 == 0:
            os.mkdir(os.path.join(folder, "d%03d" % (i // 500)))
        open(os.path.join(folder, "d%03d" % (i // 500), "%05d" % i), "wb").close()
    return folder


def text_bytes(size, seed):
    """size bytes of generated text that Deflate shrinks about threefold:
    lines of a 4 MiB pool, each stamped with its number, so that nothing
    repeats within Deflate's window."""
    rng = random.Random(seed)
    words = [bytes(rng.choice(b"abcdefghij") for _ in range(rng.randrange(2, 9))) for _ in range(3000)]
    pool = b" ".join(rng.choice(words) for _ in range(800000))[:4 << 20]
    out, k = bytearray(), 0
    while len(out) < size:
        at = rng.randrange(0, len(pool) - 4096)
        out += b"%d " % k + pool[at:at + 4000] + b"\n"
        k += 1
    return bytes(out[:size])


def pieced_tree(root):
    """Members larger than the 64 MiB the packer compresses whole, which it
    compresses in pieces of 8 MiB: one that shrinks, of exactly nine pieces,
    one that does not (Stored in the end) whose last piece is one byte, and
    a small one after them."""
    write(os.path.join(root, "text.bin"), text_bytes(72 << 20, 3), BASE_TIME)
    write(os.path.join(root, "noise.bin"), random.Random(4).randbytes((64 << 20) + 1), BASE_TIME + 2)
    write(os.path.join(root, "z.txt"), "after the large ones\n", BASE_TIME + 6)
    return root


ZIP64_END = b"PK\x06\x06"
ZIP64_LOCATOR = b"PK\x06\x07"


def zip64_installer(folder, writer):
    """A small installer whose archive another writer made with Zip64 records:
    Python's zipfile (force_zip64: Zip64 fields in the local headers) or zip -fz."""
    archive = os.path.join(folder, writer + ".zip")
    source = os.path.join(folder, writer + "-src")
    write(os.path.join(source, "docs", "readme.txt"), "read me\n" * 400)
    write(os.path.join(source, "data.bin"), bytes(range(256)) * 64)
    if writer == "python":
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            for name in ("docs/readme.txt", "data.bin"):
                with z.open(name, "w", force_zip64=True) as out:
                    out.write(read(os.path.join(source, name)))
            z.comment = b"Title=Zip64\r\n"
    else:
        subprocess.run(["zip", "-q", "-r", "-fz", os.path.abspath(archive), "."], cwd=source, check=True)
    installer = os.path.join(folder, writer + ".exe")
    with open(installer, "wb") as out:
        out.write(read(STUB) + read(archive))
    return installer, source
