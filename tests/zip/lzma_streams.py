"""LZMA streams for the decoder and engine tests: raw streams made by
Python's lzma (liblzma) over a table of properties, and a few hand-coded
streams that no encoder makes (a distance before the start of the data, a
repeated match with no history), coded by the small range encoder below."""
import lzma
import struct

# Properties of the raw decoder tests: (tag, lc, lp, pb, dictionary size).
# liblzma takes lc + lp up to 4; a 4 KiB dictionary turns round many times.
RAW_PROPERTIES = [("lc3-lp0-pb2", 3, 0, 2, 1 << 23),
                  ("lc0-lp0-pb0", 0, 0, 0, 1 << 16),
                  ("lc4-lp0-pb4", 4, 0, 4, 1 << 20),
                  ("lc0-lp4-pb0", 0, 4, 0, 1 << 16),
                  ("lc1-lp3-pb1", 1, 3, 1, 4096),
                  ("lc2-lp2-pb3", 2, 2, 3, 8192)]


def properties(lc, lp, pb, dictionary):
    return bytes([lc + 9 * (lp + 5 * pb)]) + struct.pack("<I", dictionary)


def raw_stream(data, lc, lp, pb, dictionary):
    """liblzma's raw LZMA1: always ends with the end marker."""
    filters = [{"id": lzma.FILTER_LZMA1, "lc": lc, "lp": lp, "pb": pb, "dict_size": dictionary}]
    return lzma.compress(data, format=lzma.FORMAT_RAW, filters=filters)


class RangeEncoder:
    """The LZMA range encoder with the decoder's probability model, for the
    few symbols the hostile streams need (lc=3 lp=0 pb=2)."""

    def __init__(self):
        self.low, self.range, self.cache, self.cache_size = 0, 0xFFFFFFFF, 0, 1
        self.out = bytearray()
        self.probs = {}
        self.state, self.position = 0, 0

    def _shift_low(self):
        if self.low < 0xFF000000 or self.low > 0xFFFFFFFF:
            carry = self.low >> 32
            temp = self.cache
            while True:
                self.out.append((temp + carry) & 0xFF)
                temp = 0xFF
                self.cache_size -= 1
                if self.cache_size == 0:
                    break
            self.cache = (self.low >> 24) & 0xFF
        self.cache_size += 1
        self.low = (self.low & 0x00FFFFFF) << 8

    def _normalize(self):
        while self.range < (1 << 24):
            self.range = (self.range << 8) & 0xFFFFFFFF
            self._shift_low()

    def bit(self, key, bit):
        p = self.probs.get(key, 1024)
        bound = (self.range >> 11) * p
        if bit == 0:
            self.range = bound
            self.probs[key] = p + ((2048 - p) >> 5)
        else:
            self.low += bound
            self.range -= bound
            self.probs[key] = p - (p >> 5)
        self._normalize()

    def tree(self, key, bits, value):
        m = 1
        for i in reversed(range(bits)):
            b = (value >> i) & 1
            self.bit((key, m), b)
            m = (m << 1) | b

    def reverse_tree(self, key, bits, value):
        m = 1
        for i in range(bits):
            b = (value >> i) & 1
            self.bit((key, m), b)
            m = (m << 1) | b

    def direct(self, bits, value):
        for i in reversed(range(bits)):
            self.range >>= 1
            if (value >> i) & 1:
                self.low += self.range
            self._normalize()

    def literal(self, byte, previous):
        # Only after literals or at the start (state below 7): the plain bit tree.
        self.bit(("match", self.state, self.position & 3), 0)
        self.tree(("literal", previous >> 5), 8, byte)
        self.state = 0 if self.state < 4 else (self.state - 3 if self.state < 10 else self.state - 6)
        self.position += 1

    def match(self, distance, length):
        """A new distance (the distance minus one, as coded); length 2..9."""
        pos_state = self.position & 3
        self.bit(("match", self.state, pos_state), 1)
        self.bit(("rep", self.state), 0)
        self.bit(("len-choice",), 0)
        self.tree(("len-low", pos_state), 3, length - 2)
        self.state = 7 if self.state < 7 else 10
        length_state = min(length - 2, 3)
        if distance < 4:
            self.tree(("slot", length_state), 6, distance)
        else:
            slot = 2 * (distance.bit_length() - 1) + ((distance >> (distance.bit_length() - 2)) & 1)
            self.tree(("slot", length_state), 6, slot)
            direct = (slot >> 1) - 1
            base = (2 | (slot & 1)) << direct
            if slot < 14:
                self.reverse_tree(("special", base - slot), direct, distance - base)
            else:
                self.direct(direct - 4, (distance - base) >> 4)
                self.reverse_tree(("align",), 4, (distance - base) & 15)
        self.position += length

    def short_repeat(self):
        pos_state = self.position & 3
        self.bit(("match", self.state, pos_state), 1)
        self.bit(("rep", self.state), 1)
        self.bit(("rep-g0", self.state), 0)
        self.bit(("rep0-long", self.state, pos_state), 0)
        self.position += 1

    def end_marker(self):
        self.match(0xFFFFFFFF, 2)

    def finish(self):
        for _ in range(5):
            self._shift_low()
        return bytes(self.out)


HAND_PROPERTIES = properties(3, 0, 2, 1 << 16)


def hand_stream(steps):
    """steps: ("lit", bytes), ("match", distance - 1, length), ("short",), ("end",)."""
    e = RangeEncoder()
    previous = 0
    for step in steps:
        if step[0] == "lit":
            for byte in step[1]:
                e.literal(byte, previous)
                previous = byte
        elif step[0] == "match":
            e.match(step[1], step[2])
        elif step[0] == "short":
            e.short_repeat()
        else:
            e.end_marker()
    return e.finish()


# A good hand-coded stream (liblzma must agree, which checks the encoder),
# and the hostile ones: (tag, steps, what a good decoder gives).
HAND_GOOD = ("hand-good", [("lit", b"ab"), ("match", 1, 6), ("end",)], b"abababab")
HAND_HOSTILE = [("distance-before-start", [("lit", b"abc"), ("match", 3, 2), ("end",)]),
                ("far-distance", [("lit", b"abc"), ("match", 70000, 5), ("end",)]),
                ("repeat-without-history", [("short",), ("end",)])]


def check_hand_good():
    tag, steps, expected = HAND_GOOD
    stream = hand_stream(steps)
    filters = [{"id": lzma.FILTER_LZMA1, "lc": 3, "lp": 0, "pb": 2, "dict_size": 1 << 16}]
    got = lzma.decompress(stream, format=lzma.FORMAT_RAW, filters=filters)
    assert got == expected, "the hand-coded stream is not what liblzma reads"
    return stream
