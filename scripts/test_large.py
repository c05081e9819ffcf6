"""The body of scripts/test-large.sh (see there)."""
import hashlib
import os
import random
import shutil
import subprocess
import sys
import time

ROOT = sys.argv[1]
WORK = os.path.join(ROOT, "build", "test-large")
PACK = os.path.join(ROOT, "build", "zimbro-pack")
# The product stub, the i686 one, in every tree: each tree runs it under its own Wine.
STUB = os.path.join(ROOT, "build", "zimbro-sfx.exe")
WINE = os.environ.get("WINE", "wine")

BIG = 5 << 30          # beyond 4 GiB, and mostly incompressible: its compressed
NOISE_SHARE = 0.85     # size, the offsets after it and the directory pass 4 GiB too
SMALL = 70000          # beyond 65,535 members
SEGMENT = 1 << 20
NEEDED = 17 << 30


def say(text):
    print("test-large: " + text, flush=True)


def timed(what, command, **kwargs):
    start = time.monotonic()
    done = subprocess.run(command, capture_output=True, **kwargs)
    seconds = time.monotonic() - start
    if done.returncode != 0:
        sys.exit("test-large: %s failed (exit %d):\n%s%s" % (what, done.returncode, done.stdout.decode(errors="replace")[-3000:],
                                                             done.stderr.decode(errors="replace")[-3000:]))
    say("%-28s %8.1f s" % (what, seconds))
    return seconds, done.stdout.decode(errors="replace")


def make_tree(tree):
    """5 GiB of 1 MiB segments, each noise or text at random, each stamped
    with its number; 70,000 files of 0 to 400 bytes in 100 folders."""
    rng = random.Random(22)
    noise = rng.randbytes(64 << 20)
    words = [bytes(rng.choice(b"abcdefghijklmnop") for _ in range(rng.randrange(2, 10))) for _ in range(4000)]
    text = bytearray()
    while len(text) < (16 << 20):
        text += b" ".join(rng.choice(words) for _ in range(10000)) + b"\n"
    os.makedirs(os.path.join(tree, "big"))
    digest = hashlib.sha256()
    with open(os.path.join(tree, "big", "payload.bin"), "wb") as out:
        for k in range(BIG // SEGMENT):
            pool = noise if rng.random() < NOISE_SHARE else text
            at = rng.randrange(0, len(pool) - SEGMENT)
            head = b"segment %12d\n" % k
            segment = head + pool[at + len(head):at + SEGMENT]
            digest.update(segment)
            out.write(segment)
    for i in range(SMALL):
        folder = os.path.join(tree, "small", "d%02d" % (i % 100))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "f%05d.txt" % i), "wb") as out:
            out.write(b" ".join(rng.choice(words) for _ in range(rng.randrange(0, 60)))[:400])
    return digest.hexdigest()


def small_files(tree):
    found = {}
    for folder, _, files in os.walk(os.path.join(tree, "small")):
        for name in files:
            path = os.path.join(folder, name)
            found[os.path.relpath(path, tree)] = path
    return found


def file_digest(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        while True:
            block = f.read(8 << 20)
            if not block:
                return digest.hexdigest()
            digest.update(block)


def check_extraction(tree, out, big_digest, who):
    """Every file: the big one by size and SHA-256, the small ones byte for byte."""
    big = os.path.join(out, "big", "payload.bin")
    if not os.path.isfile(big) or os.path.getsize(big) != BIG or file_digest(big) != big_digest:
        sys.exit("test-large: %s: big/payload.bin is missing or differs" % who)
    expected, got = small_files(tree), small_files(out)
    if sorted(expected) != sorted(got):
        sys.exit("test-large: %s: %d small files extracted, %d expected" % (who, len(got), len(expected)))
    for name, path in expected.items():
        with open(path, "rb") as a, open(got[name], "rb") as b:
            if a.read() != b.read():
                sys.exit("test-large: %s: %s differs" % (who, name))
    say("%s: all %d files intact" % (who, len(expected) + 1))


def main():
    for tool in (PACK, STUB):
        if not os.path.isfile(tool):
            sys.exit("test-large: no %s: build first (make build)" % tool)
    os.makedirs(WORK, exist_ok=True)
    tree, installer = os.path.join(WORK, "tree"), os.path.join(WORK, "setup.exe")
    stamp = os.path.join(WORK, "tree.sha256")
    kept = sum(os.path.getsize(p) for p in (os.path.join(tree, "big", "payload.bin"), installer) if os.path.exists(p))
    free = shutil.disk_usage(WORK).free
    if free + kept < NEEDED:
        sys.exit("test-large: needs about %.0f GiB free in %s (the tree, the installer and one extraction); "
                 "%.1f GiB are free" % (NEEDED / 2**30, WORK, free / 2**30))

    if not os.path.exists(stamp):
        shutil.rmtree(tree, ignore_errors=True)
        say("making the tree: one member of %.1f GiB, %d small ones" % (BIG / 2**30, SMALL))
        start = time.monotonic()
        digest = make_tree(tree)
        with open(stamp, "w") as f:
            f.write(digest)
        say("%-28s %8.1f s" % ("tree made", time.monotonic() - start))
    big_digest = open(stamp).read().strip()

    # The installer is made again when the packer, the stub or the tree is newer.
    if not os.path.exists(installer) or os.path.getmtime(installer) < max(os.path.getmtime(PACK), os.path.getmtime(STUB),
                                                                          os.path.getmtime(stamp)):
        timed("zimbro-pack -1", [PACK, "-q", "-1", "--stub", STUB, "-o", installer, tree])
    say("installer: %s bytes" % format(os.path.getsize(installer), ","))
    _, listing = timed("zimbro-pack --list", [PACK, "--list", installer])
    zip64 = [line for line in listing.splitlines() if line.startswith("Zip64:")]
    say(zip64[0] if zip64 else "--list shows no Zip64 line")
    timed("unzip -t", ["unzip", "-tq", installer])
    timed("7zz t", ["7zz", "t", installer])

    out = os.path.join(WORK, "out")
    shutil.rmtree(out, ignore_errors=True)
    seven, _ = timed("7zz x", ["7zz", "x", "-y", "-o" + out, installer])
    check_extraction(tree, out, big_digest, "7zz x")
    shutil.rmtree(out)

    os.makedirs(out)
    stub, _ = timed("stub /s under Wine", [WINE, installer, "/s"], cwd=out)
    check_extraction(tree, out, big_digest, "stub")
    shutil.rmtree(out)
    say("stub %.1f s, 7zz x %.1f s: ratio %.2f" % (stub, seven, stub / seven))


main()
