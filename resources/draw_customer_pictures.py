#!/usr/bin/env python3
"""Draws the pictures of the customer run screen into resources/CustomerUI.

The pictures are plain shapes drawn for this program: the logo, the prompts
to insert the cartridge and to pipette the sample, the status pictures and
the arrow images. Only the standard library is used; run it again after a
change and commit the PNG files it writes.
"""

import math
import os
import struct
import zlib

SS = 3  # supersampling per axis, for smooth edges

BACKGROUND = (33, 50, 63, 255)
TEAL = (68, 179, 180, 255)
TEAL_DARK = (40, 120, 122, 255)
WHITE = (244, 248, 254, 255)
GREY = (150, 160, 168, 255)
GREY_DARK = (90, 100, 110, 255)
GLASS = (170, 215, 230, 255)
SAMPLE = (228, 120, 90, 255)
CLEAR = (0, 0, 0, 0)


class Canvas:
    def __init__(self, width, height, fill):
        self.w, self.h = width, height
        self.W, self.H = width * SS, height * SS
        self.px = [list(fill) for _ in range(self.W * self.H)]

    def _span(self, y, x0, x1, colour):
        x0 = max(0, int(math.ceil(x0)))
        x1 = min(self.W - 1, int(math.floor(x1)))
        row = y * self.W
        for x in range(x0, x1 + 1):
            self.px[row + x] = list(colour)

    def polygon(self, points, colour):
        pts = [(x * SS, y * SS) for x, y in points]
        ys = [p[1] for p in pts]
        for y in range(max(0, int(min(ys))), min(self.H, int(max(ys)) + 1)):
            yc = y + 0.5
            xs = []
            for i in range(len(pts)):
                (x0, y0), (x1, y1) = pts[i], pts[(i + 1) % len(pts)]
                if (y0 <= yc < y1) or (y1 <= yc < y0):
                    xs.append(x0 + (yc - y0) * (x1 - x0) / (y1 - y0))
            xs.sort()
            for a, b in zip(xs[0::2], xs[1::2]):
                self._span(y, a - 0.5, b - 0.5, colour)

    def ellipse(self, cx, cy, rx, ry, colour, steps=72):
        self.polygon([(cx + rx * math.cos(2 * math.pi * i / steps), cy + ry * math.sin(2 * math.pi * i / steps))
                      for i in range(steps)], colour)

    def rounded_rect(self, x0, y0, x1, y1, r, colour):
        pts = []
        for cx, cy, start in ((x1 - r, y0 + r, -90), (x1 - r, y1 - r, 0), (x0 + r, y1 - r, 90), (x0 + r, y0 + r, 180)):
            for i in range(10):
                a = math.radians(start + 90 * i / 9)
                pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
        self.polygon(pts, colour)

    def line(self, x0, y0, x1, y1, width, colour):
        dx, dy = x1 - x0, y1 - y0
        n = math.hypot(dx, dy) or 1
        ox, oy = -dy / n * width / 2, dx / n * width / 2
        self.polygon([(x0 + ox, y0 + oy), (x1 + ox, y1 + oy), (x1 - ox, y1 - oy), (x0 - ox, y0 - oy)], colour)

    def save(self, path):
        rows = []
        for y in range(self.h):
            row = bytearray([0])
            for x in range(self.w):
                acc = [0, 0, 0, 0]
                for sy in range(SS):
                    base = (y * SS + sy) * self.W + x * SS
                    for sx in range(SS):
                        p = self.px[base + sx]
                        a = p[3]
                        acc[0] += p[0] * a
                        acc[1] += p[1] * a
                        acc[2] += p[2] * a
                        acc[3] += a
                alpha = acc[3]
                if alpha:
                    row += bytes([round(acc[0] / alpha), round(acc[1] / alpha), round(acc[2] / alpha),
                                  round(alpha / (SS * SS))])
                else:
                    row += bytes(4)
            rows.append(bytes(row))

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

        png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 6, 0, 0, 0))
        png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
        with open(path, "wb") as f:
            f.write(png)


def logo(path):
    c = Canvas(260, 90, CLEAR)
    c.ellipse(45, 45, 40, 40, TEAL)
    c.ellipse(45, 45, 30, 30, BACKGROUND)
    for dx, dy, r in ((-10, -8, 9), (12, -4, 7), (-2, 14, 8)):
        c.ellipse(45 + dx, 45 + dy, r, r, WHITE)
    for i, width in enumerate((150, 120, 90)):
        c.rounded_rect(100, 22 + i * 18, 100 + width, 32 + i * 18, 5, TEAL if i == 0 else WHITE)
    c.save(path)


def cartridge(c, x, y, w, h):
    c.rounded_rect(x, y, x + w, y + h, 12, GLASS)
    c.rounded_rect(x + 20, y + h / 2 - 9, x + w - 20, y + h / 2 + 9, 9, WHITE)
    c.line(x + 30, y + h / 2, x + w - 30, y + h / 2, 3, SAMPLE)
    c.ellipse(x + 30, y + h / 2, 14, 14, TEAL_DARK)
    c.ellipse(x + w - 30, y + h / 2, 14, 14, TEAL_DARK)


def insert_flowcell(path):
    c = Canvas(800, 500, CLEAR)
    c.rounded_rect(60, 180, 740, 460, 30, GREY_DARK)   # instrument
    c.rounded_rect(120, 250, 680, 330, 10, BACKGROUND)  # slot
    cartridge(c, 230, 60, 340, 110)                      # cartridge above the slot
    c.polygon([(385, 190), (415, 190), (415, 215), (440, 215), (400, 250), (360, 215), (385, 215)], TEAL)
    # clamp lever, engaged
    c.rounded_rect(600, 360, 720, 385, 12, GREY)
    c.ellipse(610, 372, 16, 16, WHITE)
    c.save(path)


def pipette_sample(path):
    c = Canvas(800, 420, CLEAR)
    cartridge(c, 120, 250, 560, 140)
    # pipette above the inlet port on the left
    c.polygon([(150, 230), (160, 230), (175, 120), (135, 120)], WHITE)
    c.rounded_rect(125, 40, 185, 125, 10, GREY)
    c.rounded_rect(140, 10, 170, 45, 6, TEAL)
    c.ellipse(155, 242, 7, 9, SAMPLE)
    c.save(path)


def droplets(path):
    c = Canvas(300, 80, CLEAR)
    for i, x in enumerate((90, 150, 210)):
        c.polygon([(x, 10), (x + 16, 44), (x - 16, 44)], SAMPLE if i == 1 else TEAL)
        c.ellipse(x, 48, 17, 17, SAMPLE if i == 1 else TEAL)
    c.save(path)


def equilibrating(path):
    c = Canvas(300, 80, CLEAR)
    c.polygon([(130, 8), (170, 8), (150, 40)], TEAL)
    c.polygon([(150, 40), (170, 72), (130, 72)], TEAL)
    c.polygon([(140, 62), (160, 62), (165, 70), (135, 70)], SAMPLE)
    for i, x in enumerate((200, 222, 244)):
        c.ellipse(x, 40, 6, 6, WHITE if i < 2 else GREY)
    c.save(path)


def arrow(path, forward, colour):
    c = Canvas(170, 96, CLEAR)
    c.rounded_rect(2, 2, 168, 94, 46, colour)
    points = [(30, 38), (95, 38), (95, 18), (140, 48), (95, 78), (95, 58), (30, 58)]
    if not forward:
        points = [(170 - x, y) for x, y in points]
    c.polygon(points, BACKGROUND)
    c.save(path)


def main():
    here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "CustomerUI")
    logo(os.path.join(here, "LogoDarkBackground_sm.png"))
    insert_flowcell(os.path.join(here, "PromptInsertFlowcell.png"))
    pipette_sample(os.path.join(here, "PipetteSample.png"))
    droplets(os.path.join(here, "PipetteSample_1.png"))
    equilibrating(os.path.join(here, "SampleEqulibrating_1.png"))
    arrow(os.path.join(here, "NextArrow.png"), True, TEAL)
    arrow(os.path.join(here, "NextArrowHover.png"), True, WHITE)
    arrow(os.path.join(here, "BackArrow.png"), False, TEAL)
    arrow(os.path.join(here, "BackArrowHover.png"), False, WHITE)


if __name__ == "__main__":
    main()
