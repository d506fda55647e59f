#!/usr/bin/env python3
"""Draws the engine's two mode icons and writes setup.ico and uninstall.ico.

Each icon holds three images, as the wizard and the shell ask for them:
48 x 48 as a PNG (32-bit with alpha, the form Windows reads from Vista on;
a fraction of the size of a bitmap), and 32 x 32 and 16 x 16 as 16-colour
bitmaps with a transparency mask, which every Windows reads. Drawing needs
ImageMagick (`convert`). The icons are kept in the repository; run this only
to change them:

    python3 resources/make_icons.py
"""
import os
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
# Edges of the small images are blended over a light dialog face, where the
# icons are seen (the wizard's header band, captions, the task bar).
FACE = (240, 240, 240)

ICONS = {
    "setup.ico": {"colour": "#2a63b0", "letter": "S"},
    "uninstall.ico": {"colour": "#b0392e", "letter": "U"},
}


def render_rgba(colour, letter, size):
    """RGBA bytes of one image, drawn large and scaled down for smooth edges."""
    big = size * 8
    radius = big // 6
    inset = big // 24
    command = [
        "convert", "-size", f"{big}x{big}", "xc:none",
        "-fill", colour,
        "-draw", f"roundrectangle {inset},{inset} {big - inset - 1},{big - inset - 1} {radius},{radius}",
        "-font", "DejaVu-Sans-Bold", "-pointsize", str(int(big * 0.72)),
        "-fill", "white", "-gravity", "center", "-annotate", "+0+0", letter,
        "-filter", "Box", "-resize", f"{size}x{size}",
        "-depth", "8", "rgba:-",
    ]
    return subprocess.run(command, check=True, capture_output=True).stdout


def png_image(colour, letter, size):
    command_draw = render_rgba(colour, letter, size)
    return subprocess.run(
        ["convert", "-size", f"{size}x{size}", "-depth", "8", "rgba:-",
         "-define", "png:compression-level=9", "-strip", "png32:-"],
        input=command_draw, check=True, capture_output=True).stdout


def bitmap_image(colour, letter, size):
    """A 4-bit DIB: header, 16-entry palette, XOR rows, AND mask rows."""
    rgba = render_rgba(colour, letter, size)
    pixels = []
    for i in range(size * size):
        r, g, b, a = rgba[4 * i:4 * i + 4]
        if a < 128:
            pixels.append(None)
        else:
            blend = lambda c, f: (c * a + f * (255 - a)) // 255
            pixels.append((blend(r, FACE[0]), blend(g, FACE[1]), blend(b, FACE[2])))
    # Reduce the opaque colours to at most 16 with ImageMagick, then map.
    opaque = bytes(c for p in pixels if p is not None for c in p)
    reduced = subprocess.run(
        ["convert", "-size", f"{len(opaque) // 3}x1", "-depth", "8", "rgb:-",
         "+dither", "-colors", "15", "-depth", "8", "rgb:-"],
        input=opaque, check=True, capture_output=True).stdout
    palette = [(0, 0, 0)]
    indices = []
    k = 0
    for p in pixels:
        if p is None:
            indices.append(0)
            continue
        c = tuple(reduced[3 * k:3 * k + 3])
        k += 1
        if c not in palette:
            palette.append(c)
        indices.append(palette.index(c))
    if len(palette) > 16:
        sys.exit("too many colours")
    palette += [(0, 0, 0)] * (16 - len(palette))

    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0, 0, 0, 0, 16, 0)
    body = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor_rows = []
    and_rows = []
    for y in reversed(range(size)):  # bottom-up
        row = bytearray(xor_stride)
        mask = bytearray(and_stride)
        for x in range(size):
            index = indices[y * size + x]
            row[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if pixels[y * size + x] is None:
                mask[x // 8] |= 0x80 >> (x % 8)
        xor_rows.append(bytes(row))
        and_rows.append(bytes(mask))
    return header + body + b"".join(xor_rows) + b"".join(and_rows), 4


def write_icon(path, colour, letter):
    images = [(48, png_image(colour, letter, 48), 32)]
    for size in (32, 16):
        data, bits = bitmap_image(colour, letter, size)
        images.append((size, data, bits))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data, bits in images:
        colours = 16 if bits == 4 else 0
        out += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data, _ in images)
    with open(path, "wb") as f:
        f.write(out)
    print(f"{path}: {len(out)} bytes")


def main():
    for name, icon in ICONS.items():
        write_icon(os.path.join(HERE, name), icon["colour"], icon["letter"])


if __name__ == "__main__":
    main()
