#!/usr/bin/env python3
"""Checks the logo bitmap and the icon file byte by byte; exit code 1 with a reason on a fault."""
import struct
import sys


def check_logo(path):
    data = open(path, "rb").read()
    if data[:2] != b"BM":
        return "not a BMP file"
    file_size, _, _, bits_offset = struct.unpack_from("<IHHI", data, 2)
    (header_size, width, height, planes, bpp, compression, image_size, xppm, yppm, used,
     important) = struct.unpack_from("<IiiHHIIiiII", data, 14)
    row = (width * bpp // 8 + 3) & ~3
    expected = {
        "file size": (file_size, len(data)),
        "info header": (header_size, 40),
        "width": (width, 365),
        "height (positive: bottom-up)": (height, 122),
        "planes": (planes, 1),
        "bits per pixel": (bpp, 24),
        "compression": (compression, 0),
        "x pixels per metre": (xppm, 2835),
        "y pixels per metre": (yppm, 2835),
        "colour table": (used, 0),
        "bits offset": (bits_offset, 54),
        "row bytes": (row, 1096),
        "pixel bytes": (len(data) - bits_offset, row * 122),
    }
    for name, (got, want) in expected.items():
        if got != want:
            return f"{name}: {got}, expected {want}"
    if image_size not in (0, row * 122):
        return f"image size field {image_size}"
    green = 0
    other = 0
    for y in range(height):
        for x in range(width):
            b, g, r = data[bits_offset + y * row + 3 * x: bits_offset + y * row + 3 * x + 3]
            if (r, g, b) == (0, 255, 0):
                green += 1
            else:
                other += 1
    # A margin of key colour all round: nothing of the wordmark is cut off at the edges.
    margin = 6
    for y in range(height):
        for x in range(width):
            if margin <= x < width - margin and margin <= y < height - margin:
                continue
            b, g, r = data[bits_offset + y * row + 3 * x: bits_offset + y * row + 3 * x + 3]
            if (r, g, b) != (0, 255, 0):
                return f"pixel {x},{height - 1 - y} in the edge margin is not the key colour"
    if other < 2000 or green < 20000:
        return f"implausible picture: {other} drawn pixels, {green} key pixels"
    print(f"logo.bmp: 365x122, 24 bpp, bottom-up, 2835 px/m, {green} key pixels, {other} drawn")
    return None


def check_icon(path):
    data = open(path, "rb").read()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != 1:
        return "not an icon file"
    order = [32, 16, 48, 32, 16, 48, 32, 16]
    if count != len(order):
        return f"{count} images, expected {len(order)}"
    for i, size in enumerate(order):
        w, h, colours, _, planes, bpp, length, offset = struct.unpack_from(
            "<BBBBHHII", data, 6 + 16 * i)
        if (w, h) != (size, size):
            return f"image {i}: {w}x{h}, expected {size}x{size}"
        if bpp != 32 or colours != 0:
            return f"image {i}: directory says {bpp} bpp, {colours} colours"
        header = struct.unpack_from("<IiiHH", data, offset)
        if header[0] != 40 or header[1] != size or header[2] != 2 * size or header[4] != 32:
            return f"image {i}: bitmap header {header}"
        if offset + length > len(data):
            return f"image {i}: runs past the end of the file"
        alpha = [data[offset + 40 + 4 * p + 3] for p in range(size * size)]
        if min(alpha) != 0 or max(alpha) != 255:
            return f"image {i}: no real alpha channel"
    print("app.ico: 8 images, 32 bpp with alpha, sizes " + " ".join(map(str, order)))
    return None


def main():
    faults = [f for f in (check_logo(sys.argv[1]), check_icon(sys.argv[2])) if f]
    for fault in faults:
        print("fault:", fault, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
