#!/usr/bin/env python3
"""Draws the program's artwork: the program icon, the small images of the options form's
image lists (16x16 and their larger sizes for screens above 96 DPI), the About logo and the
installer's side picture. Shapes are given in a 16-unit square and rendered with 4x4
supersampling, so the small sizes stay crisp. Run it from anywhere; it writes beside itself.
The logo is written as PPM and turned into JPEG by ImageMagick's convert."""
import math
import os
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


# --- shapes: contains(x, y) in 16-unit coordinates ---------------------------------------
def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def rrect(x0, y0, x1, y1, r):
    def f(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return f


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r0, r1):
    return lambda x, y: r0 * r0 <= (x - cx) ** 2 + (y - cy) ** 2 <= r1 * r1


def line(x0, y0, x1, y1, w):
    dx, dy = x1 - x0, y1 - y0
    ll = dx * dx + dy * dy or 1e-9

    def f(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / ll))
        px, py = x0 + t * dx, y0 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= (w / 2) ** 2
    return f


def poly(points):
    def f(x, y):
        inside = False
        n = len(points)
        for i in range(n):
            ax, ay = points[i]
            bx, by = points[(i + 1) % n]
            if (ay > y) != (by > y) and x < (bx - ax) * (y - ay) / (by - ay) + ax:
                inside = not inside
        return inside
    return f


def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def render(layers, size, unit=16.0, background=(0, 0, 0, 0)):
    """layers: list of (shape, (r, g, b, a)). Returns rows of (r, g, b, a) tuples."""
    n = 4
    scale = unit / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) * scale
                    y = (py + (sy + 0.5) / n) * scale
                    col = background
                    for shape, c in layers:
                        if shape(x, y):
                            col = c
                    a = col[3] / 255.0
                    acc[0] += col[0] * a
                    acc[1] += col[1] * a
                    acc[2] += col[2] * a
                    acc[3] += a
            a = acc[3] / (n * n)
            if a > 0:
                r, g, b = (acc[i] / acc[3] for i in range(3))
            else:
                r = g = b = 0
            row.append((int(r + 0.5), int(g + 0.5), int(b + 0.5), int(a * 255 + 0.5)))
        rows.append(row)
    return rows


# --- ICO writer: 32-bit images with an AND mask, largest last -----------------------------
def ico_image(rows):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + xor + bytes(mask)


def write_ico(name, images):
    data = [ico_image(rows) for rows in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for rows, d in zip(images, data):
        s = len(rows)
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(d), offset)
        offset += len(d)
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(out + b"".join(data))


# --- colours ----------------------------------------------------------------------------
BLUE = (30, 90, 180, 255)
DARKBLUE = (20, 55, 120, 255)
WHITE = (255, 255, 255, 255)
GREY = (150, 160, 175, 255)
ORANGE = (245, 140, 20, 255)
YELLOW = (245, 200, 60, 255)
DARKYELLOW = (190, 140, 30, 255)
GREEN = (40, 150, 60, 255)
RED = (200, 50, 40, 255)
OUTLINE = (60, 60, 60, 255)


def program_icon(highlight=None):
    """A blue tile holding a news sheet with an orange 'new' dot. highlight picks one of
    the sheet's lines to paint orange (the download animation)."""
    layers = [
        (rrect(0.5, 0.5, 15.5, 15.5, 3), DARKBLUE),
        (rrect(1.3, 1.3, 14.7, 14.7, 2.3), BLUE),
        (rect(3.5, 3, 11.5, 13.5), WHITE),
    ]
    for i, y in enumerate((5.5, 8, 10.5)):
        colour = ORANGE if highlight == i else GREY
        layers.append((rect(5, y, 10, y + 1.2), colour))
    if highlight is None:
        layers += [(circle(11.8, 4.2, 3.0), WHITE), (circle(11.8, 4.2, 2.2), ORANGE)]
    return layers


def folder(open_):
    layers = [
        (poly([(1, 3.5), (6, 3.5), (7.5, 5), (15, 5), (15, 13.5), (1, 13.5)]), DARKYELLOW),
        (rect(1.8, 5.8, 14.2, 12.7), YELLOW),
    ]
    if open_:
        layers.append((poly([(3.5, 7.5), (15.6, 7.5), (14.2, 13.5), (1, 13.5)]), DARKYELLOW))
        layers.append((poly([(4.2, 8.3), (14.6, 8.3), (13.5, 12.7), (2.1, 12.7)]), (250, 225, 120, 255)))
    return layers


def document():
    return [
        (poly([(3, 1), (10, 1), (13, 4), (13, 15), (3, 15)]), OUTLINE),
        (poly([(3.8, 1.8), (9.6, 1.8), (12.2, 4.4), (12.2, 14.2), (3.8, 14.2)]), WHITE),
        (rect(5.5, 6, 10.5, 7), GREY), (rect(5.5, 8.5, 10.5, 9.5), GREY), (rect(5.5, 11, 10.5, 12), GREY),
    ]


def globe():
    return [
        (circle(8, 8, 7), DARKBLUE), (circle(8, 8, 6.2), (90, 150, 230, 255)),
        (ring(8, 8, 0, 0), WHITE),
        (minus(union(rect(1, 7.6, 15, 8.4), rect(7.6, 1, 8.4, 15)), lambda x, y: False), (220, 235, 255, 255)),
        (ring(8, 8, 2.8, 3.5), (220, 235, 255, 255)),
    ]


def check():
    return [(line(2.5, 8.5, 6, 12, 2.6), GREEN), (line(6, 12, 13.5, 3.5, 2.6), GREEN)]


def cross():
    return [(line(3.5, 3.5, 12.5, 12.5, 2.6), RED), (line(12.5, 3.5, 3.5, 12.5, 2.6), RED)]


def news_check():
    """Check for news: a green arrow coming down into a tray."""
    return [
        (poly([(1, 10), (4, 10), (5, 12), (11, 12), (12, 10), (15, 10), (15, 15), (1, 15)]), DARKBLUE),
        (rect(6.5, 1, 9.5, 6.5), GREEN),
        (poly([(3.5, 6), (12.5, 6), (8, 11)]), GREEN),
    ]


def gear():
    teeth = []
    for k in range(8):
        a = k * math.pi / 4
        teeth.append(line(8, 8, 8 + 7 * math.cos(a), 8 + 7 * math.sin(a), 2.6))
    body = minus(union(circle(8, 8, 5.2), *teeth), circle(8, 8, 2.2))
    inner = minus(circle(8, 8, 4.2), circle(8, 8, 2.2))
    return [(body, (70, 80, 95, 255)), (inner, (160, 170, 185, 255))]


def star():
    pts = []
    for k in range(10):
        a = -math.pi / 2 + k * math.pi / 5
        r = 7.2 if k % 2 == 0 else 3.0
        pts.append((8 + r * math.cos(a), 8.6 + r * math.sin(a)))
    inner = [(8 + (x - 8) * 0.72, 8.6 + (y - 8.6) * 0.72) for x, y in pts]
    return [(poly(pts), DARKYELLOW), (poly(inner), YELLOW)]


def top_chart():
    return [
        (rect(1.5, 9, 5, 15), (230, 120, 40, 255)),
        (rect(6.2, 2, 9.8, 15), RED),
        (rect(11, 6, 14.5, 15), (230, 120, 40, 255)),
        (rect(1, 14.6, 15, 15.4), OUTLINE),
    ]


def magnifier():
    return [
        (line(10, 10, 14.3, 14.3, 3.0), (90, 60, 40, 255)),
        (circle(6.5, 6.5, 5.5), OUTLINE),
        (circle(6.5, 6.5, 4.3), (200, 225, 250, 255)),
        (circle(5.2, 5.2, 1.3), WHITE),
    ]


IMAGE_LIST = [
    folder(False),   # 0 category node
    folder(True),    # 1 selected category node
    document(),      # 2
    globe(),         # 3
    check(),         # 4
    cross(),         # 5
    news_check(),    # 6 "Check for News..."
    gear(),          # 7 "Options"
    program_icon(),  # 8 the tray icon at rest
    star(),          # 9 a new item in the popup
    top_chart(),     # 10 a top-10 item in the popup
    magnifier(),     # 11 "Search for Software..."
]


def write_logo():
    w, h = 96, 72
    unit = 16.0 * w / 48  # the icon drawn 48 pixels wide at the left
    layers = [(rect(0, 0, 100, 100), (235, 243, 252, 255))]
    for i, y in enumerate((4.0, 8.0, 12.0)):
        layers.append((rrect(17.5, y + 4, 30, y + 5.3, 0.6), (200, 215, 235, 255) if i else (170, 195, 230, 255)))
    layers += [(lambda x, y, s=s: s(x - 1, y - 3), c) for s, c in program_icon()]
    rows = render(layers, w, unit=unit * 1.0)
    rows = rows[:h]
    ppm = os.path.join(HERE, "logo.ppm")
    with open(ppm, "wb") as f:
        f.write(b"P6 %d %d 255\n" % (w, h))
        f.write(b"".join(bytes((r, g, b)) for row in rows for (r, g, b, _) in row))
    subprocess.run(["convert", ppm, "-quality", "90", os.path.join(HERE, "logo.jpg")], check=True)
    os.remove(ppm)


def write_drop_arrow():
    """The tree combo's drop button glyph: a small black arrow pointing down, on the grey
    that loading with LR_LOADMAP3DCOLORS turns into the button face. An 8-bit bitmap with
    a two-colour table, since only colour tables are mapped."""
    rows = ["#######", ".#####.", "..###..", "...#..."]
    w, h = len(rows[0]), len(rows)
    stride = (w + 3) // 4 * 4
    palette = bytes((192, 192, 192, 0)) + bytes((0, 0, 0, 0))  # blue, green, red, reserved
    pixels = b"".join(bytes(1 if c == "#" else 0 for c in row).ljust(stride, b"\0") for row in reversed(rows))
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 0, len(pixels), 2835, 2835, 2, 2)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(os.path.join(HERE, "droptree_arrow_down.bmp"), "wb") as f:
        f.write(header + info + palette + pixels)


def write_installer_side():
    """The picture at the left of the installer's welcome and finish pages (164x314, 24-bit
    BMP): the program icon, large, on a blue that fades towards the bottom."""
    w, h, icon = 164, 314, 96
    top, bottom = (28, 78, 150), (235, 243, 252)
    tile = render(program_icon(), icon)
    x0, y0 = (w - icon) // 2, 40
    rows = []
    for y in range(h):
        t = y / (h - 1)
        bg = tuple(round(top[i] + (bottom[i] - top[i]) * t) for i in range(3))
        row = []
        for x in range(w):
            r, g, b = bg
            if x0 <= x < x0 + icon and y0 <= y < y0 + icon:
                ir, ig, ib, ia = tile[y - y0][x - x0]
                a = ia / 255.0
                r, g, b = (round(c * a + d * (1 - a)) for c, d in ((ir, r), (ig, g), (ib, b)))
            row.append(bytes((b, g, r)))
        rows.append(b"".join(row))
    stride = (w * 3 + 3) // 4 * 4
    pixels = b"".join(row.ljust(stride, b"\0") for row in reversed(rows))
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(os.path.join(HERE, "..", "..", "installer", "welcome.bmp"), "wb") as f:
        f.write(header + info + pixels)


# The small images at 100, 125, 150 and 200 %; the program icon also at the sizes of its
# large icon (32 at 100 %, 40, 48, 64) for the window frames and the taskbar.
SMALL_SIZES = (16, 20, 24, 32)
PROGRAM_SIZES = (16, 20, 24, 32, 40, 48, 64)


def main():
    write_ico("pelorin.ico", [render(program_icon(), n) for n in PROGRAM_SIZES])
    for i, layers in enumerate(IMAGE_LIST):
        write_ico("img%02d.ico" % i, [render(layers, n) for n in SMALL_SIZES])
    for k in range(4):
        layers = program_icon(highlight=k % 3) if k < 3 else program_icon()
        write_ico("hdr%d.ico" % k, [render(layers, n) for n in SMALL_SIZES])
    write_drop_arrow()
    write_installer_side()
    if "--no-logo" not in sys.argv:
        write_logo()


if __name__ == "__main__":
    main()
