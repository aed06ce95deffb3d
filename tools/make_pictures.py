#!/usr/bin/env python3
"""Writes the updater's pictures: smile.bmp (success), frown.bmp (failure) and updater.ico.

Everything is drawn from simple geometry, supersampled for smooth edges, so the output is
byte-for-byte the same on every run and the repository needs no binary art."""
import math
import os
import struct
import sys

SUPERSAMPLE = 4
DIALOG_FACE = (212, 208, 200)


# --- shapes: each returns a predicate on a point in drawing units ---------------------------

def ellipse(cx, cy, rx, ry=None):
    ry = rx if ry is None else ry
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def round_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        # Distance from the rectangle shrunk by r; within r means inside the rounded shape.
        dx = max(x0 + r - x, 0.0, x - (x1 - r))
        dy = max(y0 + r - y, 0.0, y - (y1 - r))
        return dx * dx + dy * dy <= r * r
    return inside


def arc(cx, cy, radius, start_deg, end_deg, width):
    """A stroke along a circular arc with round caps; angles run clockwise (y points down)."""
    a0, a1 = math.radians(start_deg), math.radians(end_deg)
    ends = [(cx + radius * math.cos(a), cy + radius * math.sin(a)) for a in (a0, a1)]

    def inside(x, y):
        angle = math.atan2(y - cy, x - cx)
        if a0 <= angle <= a1:
            return abs(math.hypot(x - cx, y - cy) - radius) <= width / 2
        return min(math.hypot(x - ex, y - ey) for ex, ey in ends) <= width / 2
    return inside


def polygon(points):
    def inside(x, y):
        # Even-odd ray casting.
        hit = False
        for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
            if (y0 > y) != (y1 > y) and x < x0 + (y - y0) * (x1 - x0) / (y1 - y0):
                hit = not hit
        return hit
    return inside


# --- rendering ------------------------------------------------------------------------------

def render(width, height, layers, background=None, unit=1.0):
    """Paints layers (later ones on top) and returns rows of (r, g, b, a) pixels.

    A layer colour is an RGB tuple or a function of the point, for gradients. Sub-samples are
    averaged with their alpha as weight so transparent ones don't darken the edges."""
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    x = (px + (sx + 0.5) / SUPERSAMPLE) / unit
                    y = (py + (sy + 0.5) / SUPERSAMPLE) / unit
                    colour = background
                    for shape, paint in layers:
                        if shape(x, y):
                            colour = paint(x, y) if callable(paint) else paint
                    if colour is not None:
                        for i in range(3):
                            acc[i] += colour[i]
                        acc[3] += 1
            alpha = acc[3]
            rgb = tuple(round(c / alpha) for c in acc[:3]) if alpha else (0, 0, 0)
            row.append(rgb + (round(255 * alpha / SUPERSAMPLE ** 2),))
        rows.append(row)
    return rows


def vertical_gradient(top, bottom, y0, y1):
    def paint(x, y):
        t = max(0.0, min(1.0, (y - y0) / (y1 - y0)))
        return tuple(a + (b - a) * t for a, b in zip(top, bottom))
    return paint


# --- file formats ---------------------------------------------------------------------------

def quantise(rows):
    """Builds a palette of at most 256 colours: the most frequent ones, the rest mapped to the
    nearest. Flat-coloured art blends into far fewer colours, so normally nothing is lost."""
    counts = {}
    for row in rows:
        for pixel in row:
            counts[pixel[:3]] = counts.get(pixel[:3], 0) + 1
    palette = sorted(sorted(counts, key=lambda c: (-counts[c], c))[:256])
    index = {c: i for i, c in enumerate(palette)}
    for colour in counts:
        if colour not in index:
            index[colour] = min(range(len(palette)), key=lambda i: sum(
                (a - b) ** 2 for a, b in zip(colour, palette[i])))
    return palette, [[index[p[:3]] for p in row] for row in rows]


def bmp_8bit(rows):
    palette, indices = quantise(rows)
    width, height = len(rows[0]), len(rows)
    stride = (width + 3) & ~3
    pixels = b"".join(bytes(row) + b"\0" * (stride - width) for row in reversed(indices))
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 14 + 40 + len(colours)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(pixels),
                       2835, 2835, len(palette), 0)
    return struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset) + info + colours + pixels


def ico_image(rows):
    size = len(rows)
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        bits = 0
        for x, pixel in enumerate(row):
            if pixel[3] == 0:  # fully transparent: set in the AND mask for old renderers
                bits |= 1 << (mask_stride * 8 - 1 - x)
        mask += bits.to_bytes(mask_stride, "big")
    info = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(xor) + len(mask),
                       0, 0, 0, 0)
    return info + xor + mask


def ico(images):
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


# --- pictures -------------------------------------------------------------------------------

def face(width, fill, outline, feature, mouth):
    cx, cy, r = width / 2, 25.5, 24.0
    return render(width, 51, [
        (ellipse(cx, cy, r), outline),
        (ellipse(cx, cy, r - 2.0), fill),
        (ellipse(cx - 8, cy - 6, 3.0, 4.5), feature),
        (ellipse(cx + 8, cy - 6, 3.0, 4.5), feature),
        (mouth(cx, cy), feature),
    ], DIALOG_FACE)


def smile():
    return face(52, (255, 204, 51), (176, 112, 0), (84, 48, 0),
                lambda cx, cy: arc(cx, cy - 1, 14.0, 30, 150, 3.6))


def frown():
    return face(51, (240, 122, 84), (160, 44, 30), (96, 20, 12),
                lambda cx, cy: arc(cx, cy + 21, 13.0, -145, -35, 3.6))


def printer_icon(size):
    """Printer with a sheet in its feed and a green download badge, drawn on a 32-unit grid.

    Edges sit on even units and lines are one pixel thick (t), so the 16x16 image stays crisp."""
    t = 32 / size
    if size <= 16:  # whole-pixel steps: a smooth 45-degree edge at this size is just grey mush
        head = [(17, 22), (29, 22), (29, 24), (27, 24), (27, 26), (25, 26), (25, 28), (21, 28),
                (21, 26), (19, 26), (19, 24), (17, 24)]
        shaft = (22, 16, 24, 22)
    else:
        head = [(16.5, 22), (29.5, 22), (23, 29)]
        shaft = (21, 16.5, 25, 23)
    return render(size, size, [
        (round_rect(8, 2, 24, 16, 0), (112, 112, 112)),           # sheet waiting in the feed
        (round_rect(8 + t, 2 + t, 24 - t, 16, 0), (252, 252, 252)),
        (round_rect(12, 6, 20, 6 + t, 0), (160, 160, 160)),       # hint of printed lines
        (round_rect(12, 10, 18, 10 + t, 0), (160, 160, 160)),
        (round_rect(2, 12, 30, 26, 2 * t), (64, 66, 72)),         # body
        (round_rect(2 + t, 12 + t, 30 - t, 26 - t, t),
         vertical_gradient((224, 226, 230), (150, 154, 162), 12, 26)),
        (round_rect(6, 18, 26, 20, 0), (52, 54, 60)),             # output slot
        (ellipse(23, 23, 9), (22, 110, 42)),                      # update badge
        (ellipse(23, 23, 9 - t), vertical_gradient((92, 200, 96), (30, 146, 54), 14, 32)),
        (round_rect(*shaft, 0), (255, 255, 255)),                 # downward arrow
        (polygon(head), (255, 255, 255)),
    ], unit=1 / t)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_pictures.py OUTDIR")
    outdir = sys.argv[1]
    os.makedirs(outdir, exist_ok=True)
    files = {
        "smile.bmp": bmp_8bit(smile()),
        "frown.bmp": bmp_8bit(frown()),
        "updater.ico": ico([(size, ico_image(printer_icon(size))) for size in (16, 32)]),
    }
    for name, data in files.items():
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
