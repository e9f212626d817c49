#!/usr/bin/env python3
"""Draw the panel's pictures and icon and write them next to this script.

The pictures and the display scales come from pictures.txt, which the build
reads as well. Every picture is drawn once per scale, from the same shapes, so
that each is crisp at its own size: the first scale's file keeps its plain name,
the others carry the scale ("imgRunning-150.bmp"). The icon holds every size
Windows asks for, 16 to 256 pixels.

Standard library only: the BMP and ICO bytes are written by hand, so the
output is the same on every machine. Shapes are sampled at pixel centres,
with no antialiasing, so every picture uses only the colours named here.
Coordinates are top-down (y = 0 is the top row); the writers flip them.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# --- shapes: predicates on a point ---------------------------------------


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def rrect(x0, y0, x1, y1, r):
    parts = [rect(x0 + r, y0, x1 - r, y1), rect(x0, y0 + r, x1, y1 - r),
             circle(x0 + r, y0 + r, r), circle(x1 - r, y0 + r, r),
             circle(x0 + r, y1 - r, r), circle(x1 - r, y1 - r, r)]
    return lambda x, y: any(p(x, y) for p in parts)


def polygon(pts):
    def inside(x, y):  # even-odd crossing test
        hit = False
        for (ax, ay), (bx, by) in zip(pts, pts[1:] + pts[:1]):
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                hit = not hit
        return hit
    return inside


class Canvas:
    def __init__(self, w, h, bg):
        self.w, self.h = w, h
        self.px = [[bg] * w for _ in range(h)]

    def fill(self, colour, shape, scale=1.0):
        for y in range(self.h):
            for x in range(self.w):
                if shape((x + 0.5) / scale, (y + 0.5) / scale):
                    self.px[y][x] = colour

# --- writers ---------------------------------------------------------------


def bmp_bytes(c, palette=None):
    """BITMAPINFOHEADER, bottom-up; 4 bpp with `palette`, else 24 bpp."""
    bpp = 4 if palette else 24
    stride = (c.w * bpp + 31) // 32 * 4
    rows = []
    for row in reversed(c.px):
        if palette:
            idx = [palette.index(p[:3]) for p in row] + [0]
            data = bytes(idx[i] << 4 | idx[i + 1] for i in range(0, c.w, 2))
        else:
            data = b"".join(bytes((b, g, r)) for r, g, b, *_ in row)
        rows.append(data.ljust(stride, b"\0"))
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in palette or [])
    pixels = b"".join(rows)
    off = 14 + 40 + len(pal)
    head = struct.pack("<2sIHHI", b"BM", off + len(pixels), 0, 0, off)
    info = struct.pack("<IiiHHIIiiII", 40, c.w, c.h, 1, bpp, 0, len(pixels),
                       2835, 2835, len(palette or []), 0)
    return head + info + pal + pixels


def ico_bytes(canvases):
    """Plain ICO of 32-bit BGRA images with AND masks."""
    images = []
    for c in canvases:
        if c.w >= 256:
            images.append(png_bytes(c))
            continue
        xor = b"".join(bytes((b, g, r, a)) for row in reversed(c.px) for r, g, b, a in row)
        mstride = (c.w + 31) // 32 * 4
        mask = b""
        for row in reversed(c.px):
            bits = 0
            for x, p in enumerate(row):
                bits |= (p[3] == 0) << (mstride * 8 - 1 - x)
            mask += bits.to_bytes(mstride, "big")
        info = struct.pack("<IiiHHIIiiII", 40, c.w, c.h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        images.append(info + xor + mask)
    out = struct.pack("<HHH", 0, 1, len(images))
    off = 6 + 16 * len(images)
    for c, img in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.w % 256, c.h % 256, 0, 0, 1, 32, len(img), off)
        off += len(img)
    return out + b"".join(images)


def png_bytes(c):
    """A 32-bit RGBA PNG, for the 256-pixel icon image that would be 260 KB as a bitmap."""
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in c.px)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", c.w, c.h, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def save(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)

# --- traffic lights: 132 x 210, 16 colours, white is transparent ----------


WHITE, BLACK = (255, 255, 255), (0, 0, 0)
HOUSING, HOUSING_EDGE = (56, 56, 60), (100, 100, 106)
# Per lamp: unlit, lit rim, lit centre, highlight.
LAMPS = [
    [(88, 18, 18), (176, 0, 0), (255, 40, 40), (255, 170, 170)],    # red
    [(92, 64, 8), (200, 116, 0), (255, 184, 0), (255, 230, 160)],   # amber
    [(8, 72, 28), (0, 140, 44), (0, 224, 72), (176, 255, 196)],     # green
]
PALETTE16 = [WHITE, BLACK, HOUSING, HOUSING_EDGE] + [c for lamp in LAMPS for c in lamp]
assert len(PALETTE16) == 16


def traffic_light(lit, s):
    c = Canvas(round(132 * s), round(210 * s), WHITE + (255,))
    c.fill(BLACK + (255,), rrect(18, 2, 114, 208, 16), s)
    c.fill(HOUSING + (255,), rrect(21, 5, 111, 205, 13), s)
    c.fill(HOUSING_EDGE + (255,), rect(24, 20, 27, 190), s)
    for i, (dim, rim, centre, shine) in enumerate(LAMPS):
        cx, cy = 66, 38 + 67 * i
        c.fill(BLACK + (255,), circle(cx, cy, 28), s)
        if i != lit:
            c.fill(dim + (255,), circle(cx, cy, 24), s)
            continue
        # The centre stays one solid colour well over 20 px across; the
        # highlight sits out near the rim.
        c.fill(rim + (255,), circle(cx, cy, 24), s)
        c.fill(centre + (255,), circle(cx, cy, 20), s)
        c.fill(shine + (255,), circle(cx - 13, cy - 13, 3), s)
    return c


def read_list():
    """The scales, as (factor, file suffix), and the pictures' names, in the list's order."""
    scales, names = [], []
    with open(os.path.join(HERE, "pictures.txt")) as f:
        for line in f:
            fields = line.split()
            if not fields or fields[0].startswith("#"):
                continue
            if fields[0] == "scales":
                percents = [int(p) for p in fields[1:]]
                scales = [(p / 100, "-%d" % p if i else "") for i, p in enumerate(percents)]
            else:
                names.append(fields[1])
    return scales, names


SCALES, NAMES = read_list()


def light(lit):
    return lambda s: bmp_bytes(traffic_light(lit, s), PALETTE16)


# How each picture is drawn at a scale: its bytes.
DRAWINGS = {"imgStopped": light(0), "imgPending": light(1), "imgRunning": light(2)}

# --- glyphs: 24 x 24, 24 bpp, magenta is transparent ----------------------

MAGENTA = (255, 0, 255, 255)
GREEN, DARK_GREEN = (0, 176, 64, 255), (0, 96, 32, 255)
ORANGE, DARK_ORANGE = (255, 140, 0, 255), (176, 80, 0, 255)
RED, DARK_RED = (224, 32, 32, 255), (128, 0, 0, 255)
NAVY, WINDOW, FRAME = (0, 48, 144, 255), (255, 255, 255, 255), (64, 64, 64, 255)
PLUG, PIN, CABLE = (48, 48, 56, 255), (200, 168, 64, 255), (24, 24, 24, 255)
WHITE_A = WHITE + (255,)


def start_symbol(c, cx, cy, r, fill, edge):
    c.fill(edge, circle(cx, cy, r))
    c.fill(fill, circle(cx, cy, r - 1.2))
    k = r * 0.5
    c.fill(WHITE_A, polygon([(cx - k * 0.7, cy - k), (cx + k, cy), (cx - k * 0.7, cy + k)]))


def stop_symbol(c, cx, cy, r, fill, edge):
    c.fill(edge, circle(cx, cy, r))
    c.fill(fill, circle(cx, cy, r - 1.2))
    k = r * 0.42
    c.fill(WHITE_A, rect(cx - k, cy - k, cx + k, cy + k))


def small_window(c):
    c.fill(FRAME, rect(1, 2, 19, 19))
    c.fill(NAVY, rect(2, 3, 18, 7))
    c.fill(WINDOW, rect(2, 7, 18, 18))


class ScaledCanvas(Canvas):
    """A canvas whose shapes are given in 24-pixel glyph units and drawn at `s` times that."""

    def __init__(self, s):
        super().__init__(round(24 * s), round(24 * s), MAGENTA)
        self.s = s

    def fill(self, colour, shape, scale=1.0):
        super().fill(colour, shape, scale * self.s)


def glyph(draw, s):
    c = ScaledCanvas(s)
    draw(c)
    return bmp_bytes(c)


def plug(c):
    c.fill(PIN, rect(7, 1, 10, 8))
    c.fill(PIN, rect(14, 1, 17, 8))
    c.fill(PLUG, rrect(4, 7, 20, 15, 2))
    c.fill(PLUG, polygon([(6, 14), (18, 14), (14.5, 19), (9.5, 19)]))
    c.fill(CABLE, rect(10.5, 18, 13.5, 24))
    c.fill((120, 120, 132, 255), rect(6, 9, 18, 10))


GLYPHS = {
    "imgStart": lambda c: start_symbol(c, 12, 12, 11, GREEN, DARK_GREEN),
    "imgStop": lambda c: stop_symbol(c, 12, 12, 11, ORANGE, DARK_ORANGE),
    "btnRegister": plug,
    "btnStartService": lambda c: (small_window(c), start_symbol(c, 16.5, 16.5, 7.5, GREEN, DARK_GREEN)),
    "btnStopService": lambda c: (small_window(c), stop_symbol(c, 16.5, 16.5, 7.5, RED, DARK_RED)),
}
for name, draw in GLYPHS.items():
    DRAWINGS[name] = lambda s, draw=draw: glyph(draw, s)

missing = [name for name in NAMES if name not in DRAWINGS]
if missing:
    raise SystemExit("pictures.txt lists pictures nobody draws: " + ", ".join(missing))
for s, suffix in SCALES:
    for name in NAMES:
        save(name + suffix + ".bmp", DRAWINGS[name](s))

# --- application icon: a traffic light with all lamps lit -----------------


def icon(size):
    c = Canvas(size, size, (0, 0, 0, 0))
    s = size / 48  # drawn in a 48-unit square
    c.fill(BLACK + (255,), rrect(13, 0.5, 35, 47.5, 5), s)
    c.fill(HOUSING + (255,), rrect(14.5, 2, 33.5, 46, 4), s)
    for i, (_, _, centre, _) in enumerate(LAMPS):
        c.fill(BLACK + (255,), circle(24, 9.5 + 14.5 * i, 7), s)
        c.fill(centre + (255,), circle(24, 9.5 + 14.5 * i, 5.5), s)
    return c


# The sizes Windows asks for: small and large icons at 100 to 200 %, and the shell's biggest views.
save("app.ico", ico_bytes([icon(n) for n in (16, 20, 24, 32, 40, 48, 64, 256)]))
