#!/usr/bin/python3
"""Draws Uptorra's artwork and writes it into src/app/res/.

    /usr/bin/python3 tools/make_art.py

Everything is drawn here from shapes, with the standard library only (PNG through zlib, ICO
written by hand), so the program carries no picture from elsewhere. The outputs are committed:
the build compiles them in and does not run this script.

  uptorra.ico        window and tray icon: a network hub, a large blue disc joined by short
                     spokes to five small discs (blue top, yellow upper right, green left,
                     green lower right, red lower left); 16, 20, 24, 32, 40, 48, 64 and 256 px
  status_failure.ico red disc with a white diagonal cross (16, 20, 24, 32 px)
  status_success.ico blue disc with a white check mark (16, 20, 24, 32 px)
  signature.png      288 x 268, dark handwritten strokes on a transparent background

Shapes are drawn as signed distances with a one-pixel ramp, which antialiases without
supersampling; layers are put together with the "over" operator on straight RGBA.
"""
import math
import os
import struct
import sys
import zlib

OUT_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "app", "res")


# ---------------------------------------------------------------------------------------------
# A straight-alpha RGBA canvas of floats.

class Canvas:
    def __init__(self, width, height):
        self.w = width
        self.h = height
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]

    def blend(self, x, y, rgb, alpha):
        """Puts colour rgb with coverage alpha over the pixel."""
        if alpha <= 0.0:
            return
        alpha = min(alpha, 1.0)
        p = self.px[y * self.w + x]
        out_a = alpha + p[3] * (1.0 - alpha)
        if out_a <= 0.0:
            return
        for i in range(3):
            p[i] = (rgb[i] * alpha + p[i] * p[3] * (1.0 - alpha)) / out_a
        p[3] = out_a

    def rgba_bytes(self):
        rows = []
        for y in range(self.h):
            row = bytearray()
            for x in range(self.w):
                r, g, b, a = self.px[y * self.w + x]
                row += bytes((to_byte(r), to_byte(g), to_byte(b), to_byte(a)))
            rows.append(bytes(row))
        return rows


def to_byte(v):
    return max(0, min(255, int(round(v * 255.0))))


def coverage(distance_inside):
    """distance_inside > 0 inside the shape; a one-pixel ramp across the edge."""
    return max(0.0, min(1.0, distance_inside + 0.5))


def hex_rgb(text):
    return tuple(int(text[i:i + 2], 16) / 255.0 for i in (0, 2, 4))


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


# ---------------------------------------------------------------------------------------------
# Shapes, in pixel coordinates of the canvas (pixel centres at +0.5).

def draw_disc(canvas, cx, cy, r, fill, rim=None, rim_width=0.0, shade=True):
    """A disc lit from the upper left: lighter there, darker at the lower right, with a rim."""
    x0, x1 = max(0, int(cx - r - 2)), min(canvas.w, int(cx + r + 3))
    y0, y1 = max(0, int(cy - r - 2)), min(canvas.h, int(cy + r + 3))
    light = mix(fill, (1.0, 1.0, 1.0), 0.45)
    dark = mix(fill, (0.0, 0.0, 0.0), 0.25)
    for y in range(y0, y1):
        for x in range(x0, x1):
            px, py = x + 0.5, y + 0.5
            d = math.hypot(px - cx, py - cy)
            cov = coverage(r - d)
            if cov <= 0.0:
                continue
            colour = fill
            if shade:
                # 0 at the highlight spot, 1 at the far edge
                hx, hy = cx - r * 0.35, cy - r * 0.4
                t = min(1.0, math.hypot(px - hx, py - hy) / (r * 1.6))
                colour = mix(light, fill, min(1.0, t * 1.6)) if t < 0.62 else mix(fill, dark, (t - 0.62) / 0.38)
            if rim is not None and rim_width > 0.0:
                inner = coverage((r - rim_width) - d)
                colour = mix(rim, colour, inner)
            canvas.blend(x, y, colour, cov)


def segment_distance(px, py, ax, ay, bx, by):
    vx, vy = bx - ax, by - ay
    wx, wy = px - ax, py - ay
    length2 = vx * vx + vy * vy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, (wx * vx + wy * vy) / length2))
    return math.hypot(px - (ax + t * vx), py - (ay + t * vy))


def draw_line(canvas, ax, ay, bx, by, width, colour):
    half = width / 2.0
    x0, x1 = max(0, int(min(ax, bx) - half - 2)), min(canvas.w, int(max(ax, bx) + half + 3))
    y0, y1 = max(0, int(min(ay, by) - half - 2)), min(canvas.h, int(max(ay, by) + half + 3))
    for y in range(y0, y1):
        for x in range(x0, x1):
            d = segment_distance(x + 0.5, y + 0.5, ax, ay, bx, by)
            canvas.blend(x, y, colour, coverage(half - d))


def draw_polyline_mask(mask, w, h, points, half_widths):
    """Stamps a stroke of varying width into a coverage mask (max of the stamps)."""
    for i in range(len(points) - 1):
        (ax, ay), (bx, by) = points[i], points[i + 1]
        half = max(half_widths[i], half_widths[i + 1])
        x0, x1 = max(0, int(min(ax, bx) - half - 2)), min(w, int(max(ax, bx) + half + 3))
        y0, y1 = max(0, int(min(ay, by) - half - 2)), min(h, int(max(ay, by) + half + 3))
        for y in range(y0, y1):
            for x in range(x0, x1):
                d = segment_distance(x + 0.5, y + 0.5, ax, ay, bx, by)
                # width interpolated along the segment is close enough to the larger end's
                c = coverage(half - d)
                if c > mask[y * w + x]:
                    mask[y * w + x] = c


# ---------------------------------------------------------------------------------------------
# The pictures.

HUB_BLUE = hex_rgb("1E6FD9")
SMALL_BLUE = hex_rgb("2F8CF0")
YELLOW = hex_rgb("F5B800")
GREEN = hex_rgb("2EAA4A")
RED = hex_rgb("E03A3A")
SPOKE = hex_rgb("4A5A70")
RIM = hex_rgb("1B2A3F")


def hub_icon(size):
    """The network hub, drawn for one icon size (small sizes get thicker strokes)."""
    c = Canvas(size, size)
    s = size / 32.0
    centre = (16.0 * s, 16.5 * s)
    # (angle in degrees, clockwise from the top; colour)
    satellites = [(0, SMALL_BLUE), (58, YELLOW), (270, GREEN), (130, GREEN), (218, RED)]
    orbit = 12.0 * s
    small_r = 3.6 * s
    hub_r = 6.4 * s
    spoke_w = max(1.4, 2.2 * s)
    rim_w = max(0.8, 0.9 * s) if size >= 24 else 0.0
    positions = []
    for angle, colour in satellites:
        a = math.radians(angle)
        positions.append((centre[0] + orbit * math.sin(a), centre[1] - orbit * math.cos(a), colour))
    for x, y, _ in positions:
        draw_line(c, centre[0], centre[1], x, y, spoke_w, SPOKE)
    for x, y, colour in positions:
        draw_disc(c, x, y, small_r, colour, RIM, rim_w)
    draw_disc(c, centre[0], centre[1], hub_r, HUB_BLUE, RIM, rim_w)
    # a white ring inside the hub reads as a network port at large sizes
    if size >= 32:
        ring_r = hub_r * 0.45
        for y in range(c.h):
            for x in range(c.w):
                d = math.hypot(x + 0.5 - centre[0], y + 0.5 - centre[1])
                ring = coverage(max(0.6 * s, 0.7) - abs(d - ring_r))
                c.blend(x, y, (1.0, 1.0, 1.0), ring * 0.85)
    return c


def status_failure(size):
    c = Canvas(size, size)
    s = size / 16.0
    r = 7.2 * s
    draw_disc(c, size / 2.0, size / 2.0, r, RED, hex_rgb("8E1B1B"), max(0.7, 0.8 * s))
    arm = 3.0 * s
    w = max(1.6, 1.9 * s)
    m = size / 2.0
    draw_line(c, m - arm, m - arm, m + arm, m + arm, w, (1.0, 1.0, 1.0))
    draw_line(c, m - arm, m + arm, m + arm, m - arm, w, (1.0, 1.0, 1.0))
    return c


def status_success(size):
    c = Canvas(size, size)
    s = size / 16.0
    r = 7.2 * s
    draw_disc(c, size / 2.0, size / 2.0, r, HUB_BLUE, hex_rgb("123F7A"), max(0.7, 0.8 * s))
    w = max(1.6, 1.9 * s)
    pts = [(4.3 * s, 8.4 * s), (6.9 * s, 10.9 * s), (11.8 * s, 5.3 * s)]
    draw_line(c, pts[0][0], pts[0][1], pts[1][0], pts[1][1], w, (1.0, 1.0, 1.0))
    draw_line(c, pts[1][0], pts[1][1], pts[2][0], pts[2][1], w, (1.0, 1.0, 1.0))
    return c


def catmull_rom(points, steps=24):
    """A smooth curve through the points."""
    out = []
    pts = [points[0]] + points + [points[-1]]
    for i in range(1, len(pts) - 2):
        p0, p1, p2, p3 = pts[i - 1], pts[i], pts[i + 1], pts[i + 2]
        for k in range(steps):
            t = k / steps
            t2, t3 = t * t, t * t * t
            out.append(tuple(
                0.5 * (2 * p1[j] + (-p0[j] + p2[j]) * t + (2 * p0[j] - 5 * p1[j] + 4 * p2[j] - p3[j]) * t2
                       + (-p0[j] + 3 * p1[j] - 3 * p2[j] + p3[j]) * t3) for j in range(2)))
    out.append(points[-1])
    return out


def signature():
    """A made-up handwritten signature: a looped capital, a running scribble and a flourish."""
    w, h = 288, 268
    mask = [0.0] * (w * h)
    strokes = [
        # a tall looped capital
        [(52, 70), (60, 52), (74, 48), (78, 66), (70, 118), (62, 170), (66, 196), (84, 190),
         (104, 150), (118, 96), (124, 62), (116, 58), (110, 84), (114, 140), (124, 186), (134, 192)],
        # the running part: small loops rising and falling
        [(134, 192), (146, 160), (156, 146), (162, 164), (158, 182), (168, 176), (178, 148),
         (186, 140), (190, 160), (188, 182), (198, 170), (210, 132), (216, 100), (212, 92),
         (206, 112), (208, 162), (216, 184), (230, 170), (240, 150), (246, 146), (244, 168),
         (252, 176), (262, 162)],
        # the underline flourish, heavier in the middle
        [(38, 222), (90, 212), (150, 206), (210, 204), (248, 208), (266, 216)],
        # the dot
        [(230, 118), (232, 116)],
    ]
    for n, stroke in enumerate(strokes):
        curve = catmull_rom(stroke, 20)
        count = len(curve)
        halves = []
        for i in range(count):
            t = i / max(1, count - 1)
            # pressure: thin at the ends of a stroke, fuller in between
            pressure = math.sin(math.pi * min(1.0, 0.15 + 0.85 * t)) ** 0.6
            base = 3.6 if n != 2 else 3.0
            halves.append(0.9 + base * pressure)
        draw_polyline_mask(mask, w, h, curve, halves)
    c = Canvas(w, h)
    ink = hex_rgb("1F2433")
    for y in range(h):
        for x in range(w):
            a = mask[y * w + x]
            if a > 0.0:
                c.blend(x, y, ink, a)
    return c


# ---------------------------------------------------------------------------------------------
# File formats.

def png_bytes(canvas):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + row for row in canvas.rgba_bytes())
    header = struct.pack(">IIBBBBB", canvas.w, canvas.h, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def ico_dib(canvas):
    """A 32-bit icon image: BITMAPINFOHEADER, bottom-up BGRA, and an AND mask."""
    w, h = canvas.w, canvas.h
    rows = canvas.rgba_bytes()
    xor = bytearray()
    for row in reversed(rows):
        for x in range(w):
            r, g, b, a = row[4 * x:4 * x + 4]
            xor += bytes((b, g, r, a))
    mask_stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x in range(w):
            if row[4 * x + 3] == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def ico_bytes(canvases):
    """An ICO file; 256-pixel images are stored as PNG, smaller ones as DIBs for old readers."""
    images = [png_bytes(c) if c.w >= 256 else ico_dib(c) for c in canvases]
    out = struct.pack("<HHH", 0, 1, len(canvases))
    offset = 6 + 16 * len(canvases)
    for c, data in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.w % 256, c.h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def write(name, data):
    path = os.path.join(OUT_DIR, name)
    with open(path, "wb") as f:
        f.write(data)
    print(f"wrote {os.path.relpath(path)} ({len(data)} bytes)")


def main():
    os.makedirs(OUT_DIR, exist_ok=True)
    write("uptorra.ico", ico_bytes([hub_icon(s) for s in (16, 20, 24, 32, 40, 48, 64, 256)]))
    write("status_failure.ico", ico_bytes([status_failure(s) for s in (16, 20, 24, 32)]))
    write("status_success.ico", ico_bytes([status_success(s) for s in (16, 20, 24, 32)]))
    write("signature.png", png_bytes(signature()))
    if "--previews" in sys.argv:
        # PNG previews to look at, not compiled in.
        preview_dir = os.path.join(OUT_DIR, "..", "..", "..", "build", "art-preview")
        os.makedirs(preview_dir, exist_ok=True)
        for name, canvas in (("hub32.png", hub_icon(32)), ("hub256.png", hub_icon(256)),
                             ("failure16.png", status_failure(16)), ("success16.png", status_success(16))):
            with open(os.path.join(preview_dir, name), "wb") as f:
                f.write(png_bytes(canvas))
        print(f"previews in {os.path.relpath(preview_dir)}")


if __name__ == "__main__":
    main()
