"""AES-encrypted ZIP members (the AE-1 and AE-2 format) written with the
`openssl` program (AES) and Python's hashlib and hmac (PBKDF2, HMAC-SHA1):
for what the other tools cannot make - the first
version of the format, passwords outside ASCII, members changed after they
were encrypted. make_test_archives.py checks what this writes with 7-Zip.

The format: method 99 and the extra record 0x9901 (version, "AE", the key
strength 1 to 3, the method under the encryption); the data are a salt, a
two-byte password verifier, the compressed bytes encrypted in counter mode
with a little-endian counter from 1, and the first ten bytes of the
HMAC-SHA1 of the encrypted bytes. PBKDF2-HMAC-SHA1 with 1,000 iterations
turns password and salt into the AES key, the HMAC key and the verifier."""
import hashlib
import hmac
import os
import struct
import subprocess
import zlib

KEY_BYTES = {1: 16, 2: 24, 3: 32}
DOS_TIME, DOS_DATE = 0x6E9D, 0x4F9F  # 2019-12-31 13:52:58, any fixed time will do


def counter_mode(key, data):
    """The data XORed with the AES encryption of the counters 1, 2, ...
    (16-byte little-endian), which openssl encrypts as plain blocks."""
    blocks = (len(data) + 15) // 16
    counters = b"".join((n + 1).to_bytes(16, "little") for n in range(blocks))
    stream = subprocess.run(["openssl", "enc", "-aes-%d-ecb" % (8 * len(key)), "-nopad", "-K", key.hex()],
                            input=counters, stdout=subprocess.PIPE, check=True).stdout
    return bytes(a ^ b for a, b in zip(data, stream))


class Member:
    """One member. spoil_data(bytes) and spoil_code(bytes) change the
    encrypted bytes or the code after they were made; crc overrides the
    stored CRC of a version-1 member; cut keeps only that many data bytes."""

    def __init__(self, name, data, password, strength=3, version=2, deflate=True, spoil_data=None,
                 spoil_code=None, crc=None, cut=None):
        self.name, self.data = name, data
        key_bytes = KEY_BYTES[strength]
        salt = os.urandom(key_bytes // 2)
        keys = hashlib.pbkdf2_hmac("sha1", password, salt, 1000, 2 * key_bytes + 2)
        if deflate:
            packer = zlib.compressobj(9, zlib.DEFLATED, -15)
            packed = packer.compress(data) + packer.flush()
        else:
            packed = data
        encrypted = counter_mode(keys[:key_bytes], packed)
        code = hmac.new(keys[key_bytes:2 * key_bytes], encrypted, hashlib.sha1).digest()[:10]
        if spoil_data:
            encrypted = spoil_data(encrypted)
        if spoil_code:
            code = spoil_code(code)
        self.body = salt + keys[2 * key_bytes:] + encrypted + code
        if cut is not None:
            self.body = self.body[:cut]
        self.crc = crc if crc is not None else (zlib.crc32(data) if version == 1 else 0)
        self.extra = struct.pack("<HHH2sBH", 0x9901, 7, version, b"AE", strength, 8 if deflate else 0)


def write_archive(members):
    """The archive's bytes: local records, then the central directory."""
    out, central = bytearray(), bytearray()
    for m in members:
        name = m.name.encode()
        offset = len(out)
        fields = (m.crc, len(m.body), len(m.data), len(name), len(m.extra))
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 51, 1, 99, DOS_TIME, DOS_DATE, *fields) + name + m.extra
        out += m.body
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 63, 51, 1, 99, DOS_TIME, DOS_DATE, *fields,
                               0, 0, 0, 0x20, offset) + name + m.extra
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(members), len(members), len(central), len(out), 0)
    return bytes(out + central + end)
