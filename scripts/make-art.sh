#!/usr/bin/env bash
# Draws the program's icon (resource 100) and the logo bitmap of the dialogs
# (resource 101) with ImageMagick. The results are committed; run this again
# only to change the art. The bitmap keeps a 16-colour palette and is
# run-length encoded: every byte of the stub is downloaded with every installer.
#
# The icon keeps sixteen colours too.
#
# The motif is the juniper ("zimbro"): a green sprig with blue berries.
set -euo pipefail
cd "$(dirname "$0")/../resources"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Needles along a stem: short strokes on both sides, pointing forwards.
# needles X0 Y0 X1 Y1 COUNT LENGTH -> ImageMagick draw primitives
needles() {
  python3 - "$@" <<'PY'
import math, sys
x0, y0, x1, y1, count, length = map(float, sys.argv[1:])
dx, dy = x1 - x0, y1 - y0
norm = math.hypot(dx, dy)
ux, uy = dx / norm, dy / norm
out = []
for i in range(1, int(count) + 1):
    t = i / (count + 1)
    px, py = x0 + dx * t, y0 + dy * t
    size = length * (1.0 - 0.45 * t)
    for side in (-1, 1):
        # 40 degrees off the stem, towards its tip
        a = math.radians(40) * side
        vx = ux * math.cos(a) - uy * math.sin(a)
        vy = ux * math.sin(a) + uy * math.cos(a)
        out.append("line %.1f,%.1f %.1f,%.1f" % (px, py, px + vx * size, py + vy * size))
print(" ".join(out))
PY
}

# ---------------------------------------------------------------------------
# Icon: a berry-blue disc with a white "Z" and a small green sprig, drawn
# separately at each size so that the small one stays crisp.
# ---------------------------------------------------------------------------
icon() {  # size
  local s=$1
  local m=$((s / 16))  # one unit of the 16 x 16 design
  u() { echo "$(( $1 * m ))"; }
  convert -size ${s}x${s} xc:none \
    -fill '#2b5d9b' -stroke '#173a66' -strokewidth 1 \
    -draw "circle $((s / 2)),$((s / 2)) $((s / 2)),0.5" \
    -stroke none -fill white \
    -draw "rectangle $(u 4),$(u 4) $(( $(u 12) - 1 )),$(( $(u 6) - 1 ))" \
    -draw "rectangle $(u 4),$(u 10) $(( $(u 12) - 1 )),$(( $(u 12) - 1 ))" \
    -draw "polygon $(u 9),$(u 6) $(u 12),$(u 6) $(u 7),$(u 10) $(u 4),$(u 10)" \
    -fill '#8fd19e' -draw "circle $(u 12),$(u 3) $(( $(u 12) + m )),$(u 3)" \
    "$work/icon-$s.png"
}
icon 16
icon 32
# Sixteen colours and a transparency mask per image: the drawing has fewer
# colours than that, every Windows shows such an icon, and it costs a fifth
# of a 32-bit one in every installer.
for s in 16 32; do
  convert "$work/icon-$s.png" -alpha extract -threshold 50% "$work/mask-$s.pbm"
  convert "$work/icon-$s.png" -background '#2b5d9b' -alpha remove -dither None -colors 16 \
    -type Palette -compress none BMP3:"$work/icon-$s.bmp"
done
python3 - "$work" zimbro.ico <<'PY'
import struct, sys
work, dst = sys.argv[1], sys.argv[2]
images = []
for s in (16, 32):
    bmp = open("%s/icon-%d.bmp" % (work, s), "rb").read()
    off = struct.unpack_from("<I", bmp, 10)[0]
    hs = struct.unpack_from("<I", bmp, 14)[0]
    w, h, _, bpp = struct.unpack_from("<iiHH", bmp, 18)
    assert (w, h) == (s, s) and bpp <= 4
    palette = bmp[14 + hs:off].ljust(64, b"\0")[:64]
    stride = ((w * 4 + 31) // 32) * 4
    pixels = bmp[off:off + stride * h]
    if bpp < 4:
        sys.exit("expected a 4-bit bitmap")
    # The AND mask, bottom row first like the pixels: 1 is transparent.
    pbm = open("%s/mask-%d.pbm" % (work, s), "rb").read().split(b"\n", 2)[2]
    row_bytes = (w + 7) // 8
    mask_stride = ((w + 31) // 32) * 4
    mask = b"".join(pbm[(h - 1 - y) * row_bytes:(h - y) * row_bytes].ljust(mask_stride, b"\0") for y in range(h))
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 4, 0, len(pixels) + len(mask), 0, 0, 16, 0)
    images.append((s, header + palette + pixels + mask))
out = struct.pack("<HHH", 0, 1, len(images))
offset = 6 + 16 * len(images)
for s, data in images:
    out += struct.pack("<BBBBHHII", s, s, 16, 0, 1, 4, len(data), offset)
    offset += len(data)
open(dst, "wb").write(out + b"".join(data for _, data in images))
PY

# ---------------------------------------------------------------------------
# Logo: a tall strip at the left of the start and license dialogs. The
# control is 61 x 186 dialog units, 92 x 302 pixels with the dialog font of
# Windows at 96 dpi; a static control shows a bitmap at its own size.
# ---------------------------------------------------------------------------
stem="M 18,150 C 30,120 44,80 74,22"
convert -background none -fill white -font DejaVu-Sans-Bold -pointsize 21 label:'Zimbro SFX' \
  -rotate 270 "$work/name.png"
convert -size 92x302 gradient:'#2f7a4c'-'#0a2214' \
  -fill none -stroke '#6fae7c' -strokewidth 2 -draw "path '$stem'" \
  -strokewidth 1.5 -draw "$(needles 18 150 46 86 7 17)" -draw "$(needles 46 86 74 22 7 14)" \
  -stroke '#1d3b66' -strokewidth 1 -fill '#3f6fb0' \
  -draw 'circle 50,104 50,96' -draw 'circle 64,94 64,87' -draw 'circle 38,116 38,109' -draw 'circle 58,116 58,110' \
  -stroke none -fill '#b9d2f2' \
  -draw 'circle 47,101 48,99' -draw 'circle 61,91 62,89' -draw 'circle 35,113 36,111' -draw 'circle 56,113 57,111' \
  "$work/name.png" -gravity south -geometry +0+12 -composite \
  -dither None -colors 16 -type Palette -compress none BMP3:"$work/logo.bmp"
# Run-length encoded (BI_RLE4): the gradient's bands and the flat strip cost
# a few bytes a row instead of 46, and LoadBitmap expands them itself.
python3 - "$work/logo.bmp" logo.bmp <<'PY'
import struct, sys
# Encoded runs repeat a pair of colours (a solid run or a two-colour
# stipple); stretches without such runs go out in absolute mode.
src, dst = sys.argv[1], sys.argv[2]
data = open(src, 'rb').read()
off = struct.unpack_from('<I', data, 10)[0]
hs = struct.unpack_from('<I', data, 14)[0]
w, h, planes, bpp, comp = struct.unpack_from('<iiHHI', data, 18)
assert bpp == 4 and comp == 0 and h > 0
stride = ((w * 4 + 31) // 32) * 4
pal = data[14 + hs:off]
out = bytearray()
for y in range(h):
    row = data[off + y * stride: off + (y + 1) * stride]
    px = [(row[x // 2] >> (4 if x % 2 == 0 else 0)) & 15 for x in range(w)]
    i, lit = 0, []
    def flush_lit():
        global lit
        while lit:
            chunk = lit[:255]; lit = lit[255:]
            if len(chunk) < 3:
                for c in chunk: out.extend([1, (c << 4) | c])
            else:
                out.extend([0, len(chunk)])
                b = bytearray((chunk[k] << 4) | (chunk[k + 1] if k + 1 < len(chunk) else 0) for k in range(0, len(chunk), 2))
                if len(b) % 2: b.append(0)
                out.extend(b)
    while i < w:
        a = px[i]; b = px[i + 1] if i + 1 < w else a
        L = 1
        while i + L < w and L < 255 and px[i + L] == (a if L % 2 == 0 else b): L += 1
        if L >= 4 or (i + L == w and not lit):
            flush_lit(); out.extend([L, (a << 4) | b]); i += L
        else:
            lit.append(a); i += 1
    flush_lit()
    out.extend([0, 0])
out.extend([0, 1])
hdr = bytearray(data[14:14 + hs])
struct.pack_into('<I', hdr, 16, 2)          # BI_RLE4
struct.pack_into('<I', hdr, 20, len(out))    # image size
body = bytes(hdr) + pal + bytes(out)
fh = b'BM' + struct.pack('<IHHI', 14 + len(body), 0, 0, 14 + len(hdr) + len(pal))
open(dst, 'wb').write(fh + body)
PY
ls -l zimbro.ico logo.bmp
