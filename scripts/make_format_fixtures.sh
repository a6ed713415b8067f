#!/usr/bin/env bash
# Makes the picture files under tests/fixtures/formats/ that the header reader's tests
# (tests/native/picture_formats_test.cpp) check: real files from the Debian encoders, at
# odd and boundary sizes and with every orientation an encoder can write. Runnable again;
# it overwrites the files. Each file's name says what the encoder was given: its size as
# WIDTHxHEIGHT and, for an orientation, oN (the EXIF orientation value it stands for).
#
# Encoders (Debian 12 packages): cwebp, img2webp and webpmux (webp 1.2.4), heif-enc
# (libheif-examples 1.15, x265 and aom), avifenc (libavif-bin 0.11, aom), cjxl
# (libjxl-tools 0.7), JxrEncApp (libjxr-tools 1.2), exiftool (libimage-exiftool-perl) to set
# EXIF orientations, Pillow (python3-pil) for the source pictures and the TGA files.
#   apt-get install -y --no-install-recommends webp libheif-examples libavif-bin \
#     libjxl-tools libjxr-tools libimage-exiftool-perl python3-pil
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/tests/fixtures/formats"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
py=/usr/bin/python3  # the system's Python, which has Pillow
for tool in cwebp img2webp webpmux heif-enc heif-convert avifenc cjxl jxlinfo JxrEncApp exiftool; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
rm -rf "$out"
mkdir -p "$out"/{webp,heif,avif,jxl,jxr,tga}

# A source picture of WIDTHxHEIGHT in four coloured quarters (red top left, green top
# right, blue bottom left, grey bottom right), so a decoded file shows how it was turned.
source_picture() {  # path width height [mode] [exif-orientation]
  "$py" - "$@" <<'EOF'
import sys
from PIL import Image
path, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
mode = sys.argv[4] if len(sys.argv) > 4 else "RGB"
orientation = int(sys.argv[5]) if len(sys.argv) > 5 else 0
im = Image.new("RGB", (w, h), (128, 128, 128))
hw, hh = max(1, w // 2), max(1, h // 2)
im.paste((255, 0, 0), (0, 0, hw, hh))
if w > 1: im.paste((0, 255, 0), (hw, 0, w, hh))
if h > 1: im.paste((0, 0, 255), (0, hh, hw, h))
if mode == "RGBA":
    im.putalpha(200)
elif mode != "RGB":
    im = im.convert(mode)
options = {}
if orientation:
    exif = Image.Exif()
    exif[0x0112] = orientation
    options["exif"] = exif.tobytes()
im.save(path, **options)
EOF
}

# ---- WebP: lossy (VP8), lossless (VP8L), extended (VP8X: alpha, animation, EXIF) ----
for size in 1x1 33x17 640x480 17x4000 16383x2; do
  source_picture "$work/s.png" "${size%x*}" "${size#*x}"
  cwebp -quiet -q 20 "$work/s.png" -o "$out/webp/lossy_$size.webp"
done
for size in 1x1 33x17 17x4000 16383x1; do
  source_picture "$work/s.png" "${size%x*}" "${size#*x}"
  cwebp -quiet -lossless "$work/s.png" -o "$out/webp/lossless_$size.webp"
done
source_picture "$work/s.png" 33 17 RGBA
cwebp -quiet -q 20 "$work/s.png" -o "$out/webp/alpha_33x17.webp"
source_picture "$work/f1.png" 33 17
source_picture "$work/f2.png" 33 17 L
img2webp -q 20 "$work/f1.png" "$work/f2.png" -o "$out/webp/animated_33x17.webp" >/dev/null
# EXIF orientation: cwebp keeps a JPEG's EXIF block (-metadata exif) in an EXIF chunk.
for o in 3 6 8; do
  source_picture "$work/s.jpg" 40 24
  exiftool -q -overwrite_original -Orientation#=$o "$work/s.jpg"
  cwebp -quiet -q 20 -metadata exif "$work/s.jpg" -o "$out/webp/exif_o${o}_40x24.webp"
done

# ---- HEIF (HEVC): heif-enc puts a size that is not a multiple of 8 in a grid item (the
# primary item, with the picture's ispe) over one larger hidden tile with an ispe of its own ----
for size in 1x1 33x17 640x480 17x4000; do
  source_picture "$work/s.png" "${size%x*}" "${size#*x}"
  heif-enc -q 10 "$work/s.png" -o "$out/heif/heic_$size.heic" >/dev/null
done
# With a thumbnail: another grid and tile, each with an ispe of its own.
source_picture "$work/s.png" 96 40
heif-enc -q 10 -t 24 "$work/s.png" -o "$out/heif/thumbnail_96x40.heic" >/dev/null

# ---- AVIF (AV1): avifenc, and heif-enc's AV1 path ----
for size in 1x1 33x17 640x480 17x4000; do
  source_picture "$work/s.png" "${size%x*}" "${size#*x}"
  avifenc -s 10 --min 50 --max 63 "$work/s.png" "$out/avif/avif_$size.avif" >/dev/null
done
source_picture "$work/s.png" 33 17 RGBA  # an alpha item beside the colour item
avifenc -s 10 --min 50 --max 63 "$work/s.png" "$out/avif/alpha_33x17.avif" >/dev/null
source_picture "$work/s.png" 33 17
heif-enc -A -q 10 "$work/s.png" -o "$out/avif/heifenc_33x17.avif" >/dev/null
# Every orientation as irot (quarter turns anticlockwise) and imir (0: top and bottom
# exchanged, 1: left and right); avifenc lists irot before imir, and a decoder applies them
# in that order.
source_picture "$work/s.png" 40 24
declare -A turns=([1]="" [2]="--imir 1" [3]="--irot 2" [4]="--imir 0" [5]="--irot 1 --imir 0"
                  [6]="--irot 3" [7]="--irot 1 --imir 1" [8]="--irot 1")
for o in 1 2 3 4 5 6 7 8; do
  # shellcheck disable=SC2086  # the options are words
  avifenc -s 10 --min 50 --max 63 ${turns[$o]} "$work/s.png" "$out/avif/o${o}_40x24.avif" >/dev/null
done
# The same mirror and turn as o7, listed the other way round (imir before irot): the
# associations' two bytes exchanged in ipma. Shown as the mirror then the turn, that is o5.
"$py" - "$out/avif/o7_40x24.avif" "$out/avif/imir_first_o5_40x24.avif" <<'EOF'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
ipma = data.index(b"ipma") + 4          # the body: version, flags, entry count
entry = ipma + 8                        # the one item: 16-bit id, count, 1-byte indices
count = data[entry + 2]
indices = data[entry + 3:entry + 3 + count]
data[entry + 3 + count - 2:entry + 3 + count] = indices[-1:] + indices[-2:-1]
open(sys.argv[2], "wb").write(data)
EOF

# ---- JPEG XL: bare codestreams at sizes that take each coding of the size header ----
# 64x64, 80x64 and 96x48 are the short forms (multiples of 8 up to 256); 1x1, 64x64, 60x50,
# 640x480, 30x20, 160x90, 80x64 and 96x48 the fixed ratios of width to height; the rest
# explicit sizes in 9-, 13- and 18-bit fields.
for size in 1x1 33x17 64x64 80x64 96x48 60x50 30x20 640x480 160x90 17x4000 70000x1; do
  source_picture "$work/s.png" "${size%x*}" "${size#*x}"
  cjxl -q 20 -e 1 "$work/s.png" "$out/jxl/bare_$size.jxl" >/dev/null 2>&1
done
# The codestream of a box container put together from its jxlc box or jxlp pieces.
codestream_of() {  # container bare
  "$py" - "$1" "$2" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
at, codestream = 0, b""
while at + 8 <= len(data):
    size, kind = struct.unpack(">I4s", data[at:at + 8])
    size = size or len(data) - at
    if kind == b"jxlc":
        codestream += data[at + 8:at + size]
    elif kind == b"jxlp":
        codestream += data[at + 12:at + size]
    at += size
open(sys.argv[2], "wb").write(codestream)
EOF
}
# A width past 2^18 takes the 30-bit field and the codestream level that cjxl marks in a
# jxll box, so it comes in the box container; its bare codestream is taken out of it.
source_picture "$work/s.png" 300000 1
cjxl -q 20 -e 1 "$work/s.png" "$out/jxl/container_300000x1.jxl" >/dev/null 2>&1
codestream_of "$out/jxl/container_300000x1.jxl" "$out/jxl/bare_300000x1.jxl"
# Every orientation: cjxl takes a PNG's eXIf orientation into the codestream and keeps the
# EXIF in the box container.
for o in 1 2 3 4 5 6 7 8; do
  source_picture "$work/s.png" 40 24 RGB $o
  cjxl -q 20 -e 1 "$work/s.png" "$out/jxl/container_o${o}_40x24.jxl" >/dev/null 2>&1
done
# A JPEG's lossless transcoding: the codestream in jxlp pieces around its reconstruction box.
source_picture "$work/s.jpg" 40 24
exiftool -q -overwrite_original -Orientation#=6 "$work/s.jpg"
cjxl --lossless_jpeg=1 "$work/s.jpg" "$out/jxl/jpeg_o6_40x24.jxl" >/dev/null 2>&1
# The same codestream as o6's without its container: cjxl 0.7 keeps the container when
# there is EXIF.
codestream_of "$out/jxl/container_o6_40x24.jxl" "$out/jxl/bare_o6_40x24.jxl"

# ---- JPEG XR: JxrEncApp writes the container's size tags and a spatial transform of 0 ----
for size in 1x1 33x17 640x480 17x4000; do
  source_picture "$work/s.bmp" "${size%x*}" "${size#*x}"
  JxrEncApp -i "$work/s.bmp" -o "$out/jxr/jxr_$size.jxr" -q 0.3 >/dev/null
done
source_picture "$work/s.bmp" 33 17
JxrEncApp -i "$work/s.bmp" -o "$out/jxr/hdphoto_33x17.wdp" -q 0.3 >/dev/null

# ---- TGA: Pillow, every image type it writes, bottom-up and top-down rows ----
"$py" - "$out/tga" <<'EOF'
import sys
from PIL import Image
out = sys.argv[1]
def picture(w, h, mode):
    im = Image.new("RGB", (w, h), (128, 128, 128))
    im.paste((255, 0, 0), (0, 0, max(1, w // 2), max(1, h // 2)))
    return im.convert(mode) if mode != "RGB" else im
for name, (w, h), mode, options in [
        ("rgb_1x1", (1, 1), "RGB", {}),
        ("rgb_33x17", (33, 17), "RGB", {}),
        ("rgb_rle_320x240", (320, 240), "RGB", {"compression": "tga_rle"}),
        ("rgba_top_down_33x17", (33, 17), "RGBA", {"orientation": 1}),
        ("grey_17x40", (17, 40), "L", {}),
        ("grey_rle_17x40", (17, 40), "L", {"compression": "tga_rle"}),
        ("grey_alpha_17x40", (17, 40), "LA", {}),
        ("palette_33x17", (33, 17), "P", {}),
        ("palette_rle_33x17", (33, 17), "P", {"compression": "tga_rle"})]:
    picture(w, h, mode).save(f"{out}/{name}.tga", **options)
EOF

# ---- Checks with other readers: sizes, and the AVIF orientations as decoded ----
# exiftool's size for each file but the TGA ones (Pillow's), against the size in its name.
# shellcheck disable=SC2016  # exiftool's own tag names, not the shell's
{ exiftool -q -q -r --ext tga -p '$FileName $ImageSize' "$out"
  "$py" -c 'import glob, os, sys
from PIL import Image
for f in sorted(glob.glob(sys.argv[1] + "/tga/*.tga")):
    print(os.path.basename(f), "%dx%d" % Image.open(f).size)' "$out"
} | while read -r name size; do
  [[ "$name" == *"_$size."* ]] || { echo "$name: other readers see $size" >&2; exit 1; }
done
# libheif applies irot and imir when decoding: each oN file must decode to the source
# picture under EXIF orientation N.
for f in "$out"/avif/*o[1-8]_40x24.avif; do
  heif-convert "$f" "$work/d.png" >/dev/null
  "$py" - "$f" "$work/d.png" <<'EOF'
import re, sys
from PIL import Image
o = int(re.search(r"o([1-8])_", sys.argv[1]).group(1))
colours = {(255, 0, 0): "R", (0, 255, 0): "G", (0, 0, 255): "B", (128, 128, 128): "."}
def name(p):
    return colours[min(colours, key=lambda c: sum((a - b) ** 2 for a, b in zip(c, p)))]
im = Image.open(sys.argv[2]).convert("RGB")
w, h = im.size
seen = "".join(name(im.getpixel(p)) for p in [(0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1)])
# The stored corners RG/B. under each orientation (top left, top right, bottom left,
# bottom right).
expected = {1: "RGB.", 2: "GR.B", 3: ".BGR", 4: "B.RG", 5: "RBG.", 6: "BR.G", 7: ".GBR",
            8: "G.RB"}[o]
if seen != expected:
    sys.exit(f"{sys.argv[1]}: decodes as {seen}, not orientation {o} ({expected})")
EOF
done
# jxlinfo names the codestream's orientation when it is not 1.
for f in "$out"/jxl/container_o*_40x24.jxl "$out"/jxl/*_o6_40x24.jxl; do
  o=$(basename "$f" | sed 's/.*o\([1-8]\)_.*/\1/')
  seen=$(jxlinfo "$f" | sed -n 's/^Orientation: \([1-8]\).*/\1/p')
  [ "${seen:-1}" = "$o" ] || { echo "$f: jxlinfo gives orientation ${seen:-1}" >&2; exit 1; }
done
du -sh "$out"
