#!/bin/sh
# Regenerates the JPEG test fixtures and their expected decoded pixels.
# Needs Debian's libjpeg-turbo-progs (cjpeg, djpeg, wrjpgcom) and python3-pil.
# Expected pixels come from djpeg with its default settings (PPM/PGM, top-down
# RGB); the CMYK expectation is computed from the raw samples (see below).
set -eu
cd "$(dirname "$0")"
PY=/usr/bin/python3

# Source pictures: a colourful 37 x 29 picture (odd sizes leave partial
# blocks) and an 80 x 64 one for scaled decoding.
$PY - <<'PYEOF'
from PIL import Image
def picture(w, h):
    im = Image.new("RGB", (w, h))
    px = im.load()
    for y in range(h):
        for x in range(w):
            r = (x * 255) // (w - 1)
            g = (y * 255) // (h - 1)
            b = ((x * 7 + y * 13) * 5) % 256
            if (x // 6 + y // 5) % 2 == 0:
                r, b = 255 - r, 255 - b
            px[x, y] = (r, g, b)
    return im
picture(37, 29).save("source.ppm")
picture(80, 64).save("source80.ppm")
PYEOF

cjpeg -quality 85 -sample 2x2 source.ppm > baseline_420.jpg
cjpeg -quality 85 -sample 2x1 source.ppm > baseline_422.jpg
cjpeg -quality 85 -sample 1x1 source.ppm > baseline_444.jpg
cjpeg -quality 85 -progressive source.ppm > progressive.jpg
cjpeg -quality 85 -restart 1 source.ppm > restart.jpg
cjpeg -quality 85 -grayscale source.ppm > gray.jpg
cjpeg -quality 85 -grayscale -sample 2x2 source.ppm > gray_sampled.jpg
cjpeg -quality 85 source80.ppm > scale80.jpg
for f in baseline_420 baseline_422 baseline_444 progressive restart gray gray_sampled; do
    djpeg "$f.jpg" > "$f.pnm"
done
djpeg -scale 1/2 scale80.jpg > scale80_half.pnm
djpeg -scale 1/8 scale80.jpg > scale80_eighth.pnm

# What the writer must produce: cjpeg with the writer's settings (optimised
# tables, baseline quantisation, default JFIF header).
cjpeg -quality 75 -baseline -optimize -sample 2x2 source.ppm > writer_q75_420.jpg
cjpeg -quality 75 -baseline -optimize -sample 2x1 source.ppm > writer_q75_422.jpg
cjpeg -quality 90 -baseline -optimize -sample 1x1 source.ppm > writer_q90_444.jpg
cjpeg -quality 1 -baseline -optimize -sample 2x2 source.ppm > writer_q1_420.jpg

# Truncated file: the library completes it; djpeg does the same.
head -c 1000 baseline_420.jpg > truncated.jpg
djpeg truncated.jpg > truncated.pnm 2>/dev/null || [ $? -eq 2 ]  # 2: warnings

# Start-of-image marker followed by garbage.
$PY -c "
import random
random.seed(7)
open('garbage.jpg','wb').write(bytes([0xFF,0xD8]) + bytes(random.randrange(256) for _ in range(300)))
"

# Resolutions, metadata and CMYK through PIL.
$PY - <<'PYEOF'
from PIL import Image
src = Image.open("source.ppm")
src.save("density72.jpg", quality=85, dpi=(72, 72))
# Dots per centimetre: patch the JFIF unit of a fresh file to 2 with 118 x 59.
import io
buf = io.BytesIO()
src.save(buf, format="JPEG", quality=85)
data = bytearray(buf.getvalue())
assert data[6:11] == b"JFIF\0"
data[13] = 2
data[14:16] = (118).to_bytes(2, "big")
data[16:18] = (59).to_bytes(2, "big")
open("density_cm.jpg", "wb").write(bytes(data))

# EXIF (APP1), ICC profile (APP2) and a comment.
tiff = b"II*\x00\x08\x00\x00\x00\x01\x00\x0f\x01\x02\x00\x06\x00\x00\x00\x1a\x00\x00\x00\x00\x00\x00\x00Maker\x00"
src.save("metadata.jpg", quality=85, dpi=(300, 300), exif=b"Exif\x00\x00" + tiff,
         icc_profile=b"\x00" * 200 + b"fake-icc-profile", comment=b"a comment")

# CMYK: PIL stores inverted samples with an Adobe marker. The reader's record
# is blue = Y*K/255, green = M*K/255, red = C*K/255 (truncating) on the raw
# samples the library delivers.
r, g, b = src.split()
cmyk = Image.merge("CMYK", (r, g, b, Image.linear_gradient("L").resize(src.size)))
cmyk.save("cmyk.jpg", quality=90)
back = Image.open("cmyk.jpg")
assert back.mode == "CMYK" and "adobe" in back.info
raw = bytes(255 - v for v in back.tobytes())  # undo PIL's inversion
out = bytearray()
for i in range(0, len(raw), 4):
    c, m, y, k = raw[i:i + 4]
    out += bytes([c * k // 255, m * k // 255, y * k // 255])
w, h = back.size
open("cmyk.pnm", "wb").write(b"P6\n%d %d\n255\n" % (w, h) + bytes(out))
PYEOF
djpeg density72.jpg > density72.pnm
djpeg metadata.jpg > metadata.pnm
# The lossless re-write must give what jpegtran gives with the same choices.
jpegtran -copy none -optimize metadata.jpg > metadata_jpegtran.jpg
jpegtran -copy none -optimize progressive.jpg > progressive_jpegtran.jpg
jpegtran -copy none -optimize gray.jpg > gray_jpegtran.jpg
rm -f source80.ppm
