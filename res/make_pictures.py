#!/usr/bin/python3
"""Draws tarnu's icons and bitmaps. Standard library only.

usage: make_pictures.py OUTDIR

Writes into OUTDIR:
  tarnu.ico                          the program icon (128)
  checking1.ico .. checking3.ico     the checking animation (142-144)
  newmail1.ico, newmail2.ico         the new-mail blink (145, 146)
  small_pictures.bmp                 9 pictures 16x16, yellow is transparent (135)
  state_pictures.bmp                 3 lamps 16x16, white is transparent (136)
  host_pictures.bmp                  cyan circle, red cross, white is transparent (138)

Icons hold 16, 20, 24, 32, 40, 48, 64 and 256 pixel images (100% to 200%
and beyond), each drawn for its own size with edges snapped to whole pixels
so the small ones stay sharp. Bitmaps are drawn without anti-aliasing: their
transparency is a mask colour, and a blended edge would leave a fringe.
"""
import os
import struct
import sys
import zlib

ICON_SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
SUB = 4  # subsamples per pixel edge for anti-aliasing


# ---------------------------------------------------------------- canvas ---

class Canvas:
    """An RGBA picture; shapes are filled with coverage from subsamples."""

    def __init__(self, w, h, antialias=True, background=(0, 0, 0, 0)):
        self.w, self.h = w, h
        self.sub = SUB if antialias else 1
        self.px = [list(background) for _ in range(w * h)]

    def _blend(self, x, y, color, cover):
        if cover <= 0:
            return
        if self.sub == 1 and cover < 1:
            return
        r, g, b, a = color
        a = a / 255.0 * cover
        dst = self.px[y * self.w + x]
        da = dst[3] / 255.0
        out_a = a + da * (1 - a)
        if out_a <= 0:
            return
        for i, c in enumerate((r, g, b)):
            dst[i] = (c * a + dst[i] * da * (1 - a)) / out_a
        dst[3] = out_a * 255.0

    def fill(self, inside, color, box=None):
        """Fills where inside(x, y) is true (x, y in pixel units)."""
        x0, y0, x1, y1 = box if box else (0, 0, self.w, self.h)
        x0, y0 = max(0, int(x0) - 1), max(0, int(y0) - 1)
        x1, y1 = min(self.w, int(x1) + 2), min(self.h, int(y1) + 2)
        n = self.sub
        offsets = [(i + 0.5) / n for i in range(n)]
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = sum(1 for sy in offsets for sx in offsets if inside(x + sx, y + sy))
                self._blend(x, y, color, hits / (n * n))

    def rect(self, x0, y0, x1, y1, color):
        self.fill(lambda x, y: x0 <= x < x1 and y0 <= y < y1, color, (x0, y0, x1, y1))

    def circle(self, cx, cy, r, color):
        self.fill(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, color,
                  (cx - r, cy - r, cx + r, cy + r))

    def ring(self, cx, cy, r_out, r_in, color):
        self.fill(lambda x, y: r_in * r_in <= (x - cx) ** 2 + (y - cy) ** 2 <= r_out * r_out,
                  color, (cx - r_out, cy - r_out, cx + r_out, cy + r_out))

    def polygon(self, pts, color):
        xs = [p[0] for p in pts]
        ys = [p[1] for p in pts]

        def inside(x, y):
            c = False
            j = len(pts) - 1
            for i in range(len(pts)):
                xi, yi = pts[i]
                xj, yj = pts[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    c = not c
                j = i
            return c
        self.fill(inside, color, (min(xs), min(ys), max(xs), max(ys)))

    def line(self, x0, y0, x1, y1, width, color):
        """A stroke with square-ish ends: every point within width/2."""
        hw = width / 2.0
        dx, dy = x1 - x0, y1 - y0
        ll = dx * dx + dy * dy

        def inside(x, y):
            t = 0 if ll == 0 else max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / ll))
            px, py = x0 + t * dx - x, y0 + t * dy - y
            return px * px + py * py <= hw * hw
        self.fill(inside, color, (min(x0, x1) - hw, min(y0, y1) - hw,
                                  max(x0, x1) + hw, max(y0, y1) + hw))

    def rgba(self, x, y):
        return tuple(int(round(max(0, min(255, v)))) for v in self.px[y * self.w + x])


# --------------------------------------------------------------- writers ---

def png_bytes(c):
    raw = b"".join(b"\x00" + bytes(v for x in range(c.w) for v in c.rgba(x, y))
                   for y in range(c.h))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", c.w, c.h, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico_image(c):
    """A 32-bit DIB with its AND mask, as an icon directory entry holds it."""
    header = struct.pack("<IiiHHIIiiII", 40, c.w, c.h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for y in range(c.h - 1, -1, -1):
        for x in range(c.w):
            r, g, b, a = c.rgba(x, y)
            xor += bytes((b, g, r, a))
    row_bytes = ((c.w + 31) // 32) * 4
    mask = bytearray()
    for y in range(c.h - 1, -1, -1):
        row = bytearray(row_bytes)
        for x in range(c.w):
            if c.rgba(x, y)[3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    return header + bytes(xor) + bytes(mask)


def write_ico(path, canvases):
    images = [png_bytes(c) if c.w >= 256 else ico_image(c) for c in canvases]
    out = bytearray(struct.pack("<HHH", 0, 1, len(canvases)))
    offset = 6 + 16 * len(canvases)
    for c, data in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.w % 256, c.h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


def write_bmp(path, c):
    """24-bit bottom-up bitmap; RGB only (transparency is a mask colour)."""
    row_bytes = (c.w * 3 + 3) // 4 * 4
    pixels = bytearray()
    for y in range(c.h - 1, -1, -1):
        row = bytearray()
        for x in range(c.w):
            r, g, b, _ = c.rgba(x, y)
            row += bytes((b, g, r))
        row += bytes(row_bytes - len(row))
        pixels += row
    info = struct.pack("<IiiHHIIiiII", 40, c.w, c.h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(head + info + pixels)


# ----------------------------------------------------------------- icons ---

OUTLINE = (38, 50, 56, 255)
PAPER = (250, 250, 247, 255)
FLAP = (176, 190, 197, 255)
BLUE = (30, 110, 210, 255)
ORANGE = (245, 124, 0, 255)
GREY = (150, 160, 168, 255)
RED = (214, 40, 40, 255)
GOLD = (255, 193, 7, 255)
WHITE = (255, 255, 255, 255)


def envelope(c, s, x0, y0, x1, y1, paper=PAPER, flap=BLUE):
    """An envelope inside (x0, y0)-(x1, y1), in pixels, snapped to the grid."""
    t = max(1, round(s / 16))                       # outline width
    x0, y0, x1, y1 = round(x0), round(y0), round(x1), round(y1)
    c.rect(x0, y0, x1, y1, OUTLINE)
    c.rect(x0 + t, y0 + t, x1 - t, y1 - t, paper)
    mid = (x0 + x1) / 2.0
    depth = (y1 - y0) * 0.58
    # the flap: a filled V from the top corners to the middle
    c.polygon([(x0 + t, y0 + t), (x1 - t, y0 + t), (mid, y0 + depth)], flap)
    c.line(x0 + t * 0.5, y0 + t * 0.5, mid, y0 + depth, t, OUTLINE)
    c.line(x1 - t * 0.5, y0 + t * 0.5, mid, y0 + depth, t, OUTLINE)


def icon_default(s):
    c = Canvas(s, s)
    u = s / 16.0
    envelope(c, s, 0.5 * u, 3 * u, 15.5 * u, 13 * u)
    return c


def icon_checking(s, frame):
    c = Canvas(s, s)
    u = s / 16.0
    envelope(c, s, 0.5 * u, 1 * u, 15.5 * u, 10.5 * u, flap=FLAP)
    # three dots under the envelope; the lit one walks left to right
    d = max(2, round(3 * u))
    gap = (s - 3 * d) / 4.0
    top = round(12 * u)
    for i in range(3):
        left = round(gap + i * (d + gap))
        color = ORANGE if i == frame else GREY
        c.rect(left, top, left + d, top + d, color)
    return c


def icon_new_mail(s, lit):
    c = Canvas(s, s)
    u = s / 16.0
    paper = (255, 236, 150, 255) if lit else PAPER
    envelope(c, s, 0.5 * u, 4 * u, 13.5 * u, 14 * u, paper=paper)
    r = 3.6 * u
    cx, cy = s - r - 0.2 * u, r + 0.2 * u
    c.circle(cx, cy, r, WHITE)
    c.circle(cx, cy, r - max(1.0, u), RED if lit else ORANGE)
    return c


# --------------------------------------------------------------- bitmaps ---

YELLOW_KEY = (255, 255, 0, 255)
WHITE_KEY = (255, 255, 255, 255)


def small_envelope(c, ox, top=3, bottom=11, paper=PAPER, flap=BLUE):
    c.rect(ox + 1, top, ox + 15, bottom, OUTLINE)
    c.rect(ox + 2, top + 1, ox + 14, bottom - 1, paper)
    c.polygon([(ox + 2, top + 1), (ox + 14, top + 1), (ox + 8, top + 5)], flap)
    c.line(ox + 2.5, top + 1.5, ox + 8, top + 5.2, 1, OUTLINE)
    c.line(ox + 13.5, top + 1.5, ox + 8, top + 5.2, 1, OUTLINE)


def picture_sparkle(c, ox):
    small_envelope(c, ox, 4, 13)
    gold = (255, 170, 0, 255)  # no pure yellow: that is the mask colour
    c.rect(ox + 12, 0, ox + 13, 5, gold)
    c.rect(ox + 10, 2, ox + 15, 3, gold)
    c.rect(ox + 11, 1, ox + 14, 4, gold)


def picture_open(c, ox):
    # the opened flap above, a letter standing out of the envelope
    c.polygon([(ox + 1, 8), (ox + 8, 2), (ox + 15, 8)], OUTLINE)
    c.polygon([(ox + 2.5, 8), (ox + 8, 3.5), (ox + 13.5, 8)], FLAP)
    c.rect(ox + 4, 3, ox + 12, 10, OUTLINE)
    c.rect(ox + 5, 4, ox + 11, 10, WHITE)
    for y in (5, 7):
        c.rect(ox + 6, y, ox + 10, y + 1, GREY)
    c.rect(ox + 1, 8, ox + 15, 15, OUTLINE)
    c.rect(ox + 2, 9, ox + 14, 14, PAPER)
    c.line(ox + 2.5, 9.5, ox + 8, 13, 1, OUTLINE)
    c.line(ox + 13.5, 9.5, ox + 8, 13, 1, OUTLINE)


def picture_waves(c, ox):
    small_envelope(c, ox, 1, 9)
    wave = (0, 120, 215, 255)
    for y in (11, 14):
        for x in range(1, 15):
            dy = 0 if (x // 2) % 2 == 0 else 1
            c.rect(ox + x, y + dy, ox + x + 1, y + dy + 1, wave)


def picture_cross(c, ox):
    small_envelope(c, ox, 1, 9)
    c.line(ox + 5, 10.5, ox + 11, 15.5, 1.6, RED)
    c.line(ox + 11, 10.5, ox + 5, 15.5, 1.6, RED)


def picture_check(c, ox):
    small_envelope(c, ox, 1, 9)
    green = (46, 160, 67, 255)
    c.line(ox + 4, 12.5, ox + 7, 15, 1.6, green)
    c.line(ox + 7, 15, ox + 12, 10, 1.6, green)


def picture_arrow(c, ox, up):
    small_envelope(c, ox, 1, 9)
    green = (46, 125, 50, 255)
    if up:
        c.polygon([(ox + 8, 10), (ox + 12, 14), (ox + 4, 14)], green)
        c.rect(ox + 7, 14, ox + 9, 16, green)
    else:
        c.rect(ox + 7, 10, ox + 9, 12, green)
        c.polygon([(ox + 4, 12), (ox + 12, 12), (ox + 8, 16)], green)


def picture_two(c, ox):
    small_envelope(c, ox - 0, 1, 9, flap=FLAP)
    small_envelope(c, ox, 6, 14)


def picture_grey(c, ox):
    small_envelope(c, ox, 3, 12, paper=(225, 225, 225, 255), flap=GREY)


def lamp(c, ox, body, rim):
    c.circle(ox + 8, 8, 6.5, rim)
    c.circle(ox + 8, 8, 5.4, body)
    c.circle(ox + 6.3, 6.2, 1.6, (255, 255, 240, 255))


def host_pictures():
    c = Canvas(32, 16, antialias=False, background=WHITE_KEY)
    c.ring(8, 8, 6.6, 3.6, (0, 170, 200, 255))               # cyan circle: checked
    c.line(16 + 3.5, 3.5, 16 + 12.5, 12.5, 2.6, (220, 30, 30, 255))   # red cross: not
    c.line(16 + 12.5, 3.5, 16 + 3.5, 12.5, 2.6, (220, 30, 30, 255))
    return c


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(out, exist_ok=True)
    write_ico(os.path.join(out, "tarnu.ico"), [icon_default(s) for s in ICON_SIZES])
    for frame in range(3):
        write_ico(os.path.join(out, "checking%d.ico" % (frame + 1)),
                  [icon_checking(s, frame) for s in ICON_SIZES])
    for lit in range(2):
        write_ico(os.path.join(out, "newmail%d.ico" % (lit + 1)),
                  [icon_new_mail(s, lit == 0) for s in ICON_SIZES])

    small = Canvas(16 * 9, 16, antialias=False, background=YELLOW_KEY)
    picture_sparkle(small, 0)       # 0: new
    picture_open(small, 16)         # 1: seen
    picture_waves(small, 32)        # 2: new, forwarded
    picture_cross(small, 48)        # 3: new, not forwarded
    picture_check(small, 64)
    picture_arrow(small, 80, True)
    picture_arrow(small, 96, False)
    picture_two(small, 112)
    picture_grey(small, 128)
    write_bmp(os.path.join(out, "small_pictures.bmp"), small)

    lamps = Canvas(16 * 3, 16, antialias=False, background=WHITE_KEY)
    lamp(lamps, 0, (60, 190, 60, 255), (20, 110, 30, 255))     # 1: green
    lamp(lamps, 16, (250, 200, 30, 255), (170, 120, 0, 255))   # 2: yellow
    lamp(lamps, 32, (220, 50, 40, 255), (130, 20, 20, 255))    # 3: red
    write_bmp(os.path.join(out, "state_pictures.bmp"), lamps)

    write_bmp(os.path.join(out, "host_pictures.bmp"), host_pictures())


if __name__ == "__main__":
    main()
