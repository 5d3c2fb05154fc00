#!/usr/bin/python3
"""Draws the program icon (resource 100 of Pirex.exe) and writes pirex.ico.

The picture: a photo print (sky, sun, green hills) with an orange round
arrow in the corner, the sign of a conversion.  Every size is drawn on its
own at eight times its size and scaled down, so small sizes stay sharp and
drop details they cannot show.  Sizes 16, 24, 32 and 48 are stored as 32-bit
bitmaps with an AND mask (what every Windows version reads), 256 as PNG.

Run with Debian's python3-pil:  /usr/bin/python3 app/resources/make_icon.py
The result is committed, so the build does not need Python.
"""
import io
import math
import os
import struct

from PIL import Image, ImageDraw

SIZES = (16, 24, 32, 48, 256)
SUPERSAMPLE = 8


def lerp(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def draw_round_arrow(draw, badge_c, badge_r, size):
    """A white clockwise arrow around the badge centre, open at the left."""
    arc_r = badge_r * 0.52
    arc_w = max(1.0, badge_r * (0.2 if size >= 32 else 0.26))
    box = (badge_c[0] - arc_r, badge_c[1] - arc_r, badge_c[0] + arc_r, badge_c[1] + arc_r)
    draw.arc(box, start=200, end=520, fill=(255, 255, 255, 255), width=int(arc_w))
    # Arrow head at the arc's end (angle 160 degrees = 520 - 360), pointing
    # along the clockwise direction.
    end = math.radians(160)
    tip_c = (badge_c[0] + (arc_r - arc_w / 2) * math.cos(end),
             badge_c[1] + (arc_r - arc_w / 2) * math.sin(end))
    head = arc_w * 1.6
    tangent = (-math.sin(end), math.cos(end))
    normal = (math.cos(end), math.sin(end))
    tip = (tip_c[0] + tangent[0] * head, tip_c[1] + tangent[1] * head)
    left = (tip_c[0] + normal[0] * head, tip_c[1] + normal[1] * head)
    right = (tip_c[0] - normal[0] * head, tip_c[1] - normal[1] * head)
    draw.polygon((tip, left, right), fill=(255, 255, 255, 255))


def draw_icon(size):
    s = size * SUPERSAMPLE
    u = s / 32.0  # one unit of a 32 x 32 design grid
    image = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    draw = ImageDraw.Draw(image)

    # The print: white frame with a soft grey edge, slightly inset.
    frame = (1.5 * u, 3 * u, 30.5 * u, 27 * u)
    draw.rounded_rectangle(frame, radius=2.5 * u, fill=(120, 128, 140, 255))
    inner_edge = 0.9 * u if size >= 32 else 1.2 * u
    draw.rounded_rectangle((frame[0] + inner_edge * 0.6, frame[1] + inner_edge * 0.6,
                            frame[2] - inner_edge * 0.6, frame[3] - inner_edge * 0.6),
                           radius=2 * u, fill=(252, 252, 250, 255))
    border = 2.2 * u if size >= 32 else 2.6 * u
    photo = (frame[0] + border, frame[1] + border, frame[2] - border, frame[3] - border)

    # Sky: a vertical gradient inside the photo area.
    sky = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    sky_draw = ImageDraw.Draw(sky)
    top, bottom = int(photo[1]), int(photo[3])
    for y in range(top, bottom + 1):
        t = (y - top) / max(1, bottom - top)
        sky_draw.line((photo[0], y, photo[2], y), fill=lerp((40, 120, 215), (150, 205, 245), t) + (255,))
    # Sun.
    sun_r = 3.0 * u
    sun_c = (photo[0] + 6.5 * u, photo[1] + 5.5 * u)
    sky_draw.ellipse((sun_c[0] - sun_r, sun_c[1] - sun_r, sun_c[0] + sun_r, sun_c[1] + sun_r),
                     fill=(255, 205, 60, 255))
    # Hills: a far, lighter one and a near, darker one.
    far = [(photo[0], photo[3] - 7 * u)]
    near = [(photo[0], photo[3] - 3 * u)]
    steps = 48
    for i in range(steps + 1):
        x = photo[0] + (photo[2] - photo[0]) * i / steps
        far.append((x, photo[3] - (6 * u + 4.5 * u * math.sin(math.pi * (i / steps) * 1.2 + 0.4))))
        near.append((x, photo[3] - (3 * u + 3.5 * u * math.sin(math.pi * (i / steps) * 0.9 + 1.9))))
    far += [(photo[2], photo[3]), (photo[0], photo[3])]
    near += [(photo[2], photo[3]), (photo[0], photo[3])]
    sky_draw.polygon(far, fill=(110, 185, 90, 255))
    sky_draw.polygon(near, fill=(50, 140, 60, 255))
    mask = Image.new("L", (s, s), 0)
    ImageDraw.Draw(mask).rectangle(photo, fill=255)
    image.paste(sky, (0, 0), mask)

    # The conversion badge: an orange disc with a white round arrow.
    badge_r = 8.2 * u if size >= 24 else 8.8 * u
    badge_c = (s - badge_r - 0.3 * u, s - badge_r - 0.3 * u)
    draw.ellipse((badge_c[0] - badge_r, badge_c[1] - badge_r, badge_c[0] + badge_r,
                  badge_c[1] + badge_r), fill=(200, 80, 10, 255))
    draw.ellipse((badge_c[0] - badge_r + 0.8 * u, badge_c[1] - badge_r + 0.8 * u,
                  badge_c[0] + badge_r - 0.8 * u, badge_c[1] + badge_r - 0.8 * u),
                 fill=(245, 130, 30, 255))
    if size <= 24:
        # Too small for a round arrow: a plain arrow pointing right.
        shaft = badge_r * 0.22
        head = badge_r * 0.55
        cx, cy = badge_c
        draw.rectangle((cx - badge_r * 0.55, cy - shaft, cx + 0.05 * badge_r, cy + shaft),
                       fill=(255, 255, 255, 255))
        draw.polygon(((cx + badge_r * 0.6, cy), (cx, cy - head), (cx, cy + head)),
                     fill=(255, 255, 255, 255))
    else:
        draw_round_arrow(draw, badge_c, badge_r, size)

    return image.resize((size, size), Image.LANCZOS)


def bitmap_entry(image):
    """A 32-bit BGRA DIB, bottom-up, height doubled, followed by the AND mask."""
    width, height = image.size
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for y in reversed(range(height)):
        for x in range(width):
            r, g, b, a = image.getpixel((x, y))
            pixels += bytes((b, g, r, a))
    mask_stride = ((width + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(height)):
        row = bytearray(mask_stride)
        for x in range(width):
            if image.getpixel((x, y))[3] == 0:  # fully transparent: screen shows through
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    return header + bytes(pixels) + bytes(mask)


def png_entry(image):
    out = io.BytesIO()
    image.save(out, format="PNG", optimize=True)
    return out.getvalue()


def write_ico(path, images):
    entries = [png_entry(im) if im.size[0] >= 256 else bitmap_entry(im) for im in images]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for image, data in zip(images, entries):
        w, h = image.size
        directory += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(directory)
        for data in entries:
            f.write(data)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    images = [draw_icon(size) for size in SIZES]
    write_ico(os.path.join(here, "pirex.ico"), images)


if __name__ == "__main__":
    main()
