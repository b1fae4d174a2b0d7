#!/usr/bin/env python3
"""Draws the configurator's icons as 32x32 PNGs with the standard library only.

Run from this folder after changing a drawing; the PNGs are committed and
compiled into the program through resources.qrc.
"""
import math
import os
import struct
import sys
import zlib

SIZE = 32


class Canvas:
    def __init__(self):
        self.px = [[(0, 0, 0, 0)] * SIZE for _ in range(SIZE)]

    def put(self, x, y, c):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1 + 1):
            self.put(x, y0, c)
            self.put(x, y1, c)
        for y in range(y0, y1 + 1):
            self.put(x0, y, c)
            self.put(x1, y, c)

    def disc(self, cx, cy, r, c):
        for y in range(SIZE):
            for x in range(SIZE):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.put(x, y, c)

    def ring(self, cx, cy, r, w, c):
        for y in range(SIZE):
            for x in range(SIZE):
                d = math.hypot(x - cx, y - cy)
                if r - w <= d <= r:
                    self.put(x, y, c)

    def line(self, x0, y0, x1, y1, c, w=1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            x = round(x0 + (x1 - x0) * i / steps)
            y = round(y0 + (y1 - y0) * i / steps)
            self.rect(x - w // 2, y - w // 2, x + (w - 1) // 2, y + (w - 1) // 2, c)

    def png(self):
        raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in self.px)
        def chunk(tag, data):
            body = tag + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
        head = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
        return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


BLUE = (40, 90, 170, 255)
LIGHT = (150, 190, 240, 255)
DARK = (30, 30, 40, 255)
GREEN = (40, 150, 60, 255)
RED = (200, 40, 40, 255)
GREY = (130, 130, 130, 255)
YELLOW = (230, 180, 40, 255)
WHITE = (255, 255, 255, 255)


def plus(cv):
    cv.disc(24, 24, 7, GREEN)
    cv.rect(20, 23, 28, 25, WHITE)
    cv.rect(23, 20, 25, 28, WHITE)


def channels(cv):
    for i, y in enumerate((6, 14, 22)):
        cv.rect(3, y, 28, y + 5, LIGHT if i % 2 else BLUE)
        cv.frame(3, y, 28, y + 5, DARK)


def channel(cv):
    cv.rect(4, 10, 27, 21, BLUE)
    cv.frame(4, 10, 27, 21, DARK)
    for x in (8, 13, 18, 23):
        cv.rect(x, 14, x + 2, 17, YELLOW)


def device(cv):
    cv.rect(5, 4, 26, 27, GREY)
    cv.frame(5, 4, 26, 27, DARK)
    cv.rect(9, 8, 22, 15, LIGHT)
    cv.disc(11, 21, 2, GREEN)
    cv.disc(20, 21, 2, RED)


def group(cv):
    cv.rect(3, 9, 28, 26, YELLOW)
    cv.rect(3, 6, 13, 9, YELLOW)
    cv.frame(3, 9, 28, 26, DARK)


def tag(cv):
    pts = [(4, 16), (12, 6), (28, 6), (28, 26), (12, 26)]
    for y in range(SIZE):
        for x in range(SIZE):
            if 12 <= x <= 28 and 6 <= y <= 26:
                cv.put(x, y, BLUE)
            elif 4 <= x < 12 and abs(y - 16) <= (x - 4) * 10 / 8:
                cv.put(x, y, BLUE)
    for a, b in zip(pts, pts[1:] + pts[:1]):
        cv.line(a[0], a[1], b[0], b[1], DARK)
    cv.disc(11, 16, 2, WHITE)


def save(cv):
    cv.rect(4, 4, 27, 27, BLUE)
    cv.frame(4, 4, 27, 27, DARK)
    cv.rect(9, 4, 22, 12, WHITE)
    cv.rect(18, 6, 20, 10, DARK)
    cv.rect(8, 17, 23, 27, LIGHT)


def delete(cv):
    cv.line(7, 7, 25, 25, RED, 4)
    cv.line(25, 7, 7, 25, RED, 4)


def monitoring(colour):
    def draw(cv):
        cv.rect(3, 5, 28, 22, DARK)
        cv.rect(5, 7, 26, 20, (20, 40, 20, 255))
        pts = [(5, 16), (10, 16), (13, 9), (17, 19), (20, 12), (26, 12)]
        for a, b in zip(pts, pts[1:]):
            cv.line(a[0], a[1], b[0], b[1], colour)
        cv.rect(12, 23, 19, 26, GREY)
    return draw


def server(cv):
    cv.disc(16, 16, 13, BLUE)
    cv.ring(16, 16, 13, 2, DARK)
    cv.rect(8, 11, 23, 13, WHITE)
    cv.rect(8, 15, 23, 17, WHITE)
    cv.rect(8, 19, 23, 21, WHITE)


def with_plus(draw):
    def both(cv):
        draw(cv)
        plus(cv)
    return both


ICONS = {
    "OPCServerModbus.png": server,
    "channels.png": channels,
    "channel.png": channel,
    "channel_add.png": with_plus(channel),
    "device.png": device,
    "device_add.png": with_plus(device),
    "group.png": group,
    "group_add.png": with_plus(group),
    "tag.png": tag,
    "tag_add.png": with_plus(tag),
    "save.png": save,
    "delete.png": delete,
    "monitoring_off.png": monitoring(GREY),
    "monitoring_on.png": monitoring((80, 230, 80, 255)),
}


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "images", "res")
    for name, draw in ICONS.items():
        cv = Canvas()
        draw(cv)
        with open(os.path.join(out, name), "wb") as f:
            f.write(cv.png())
    # The window icon of the close question is an .ico holding the same PNG.
    cv = Canvas()
    server(cv)
    data = cv.png()
    header = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(data), 22)
    with open(os.path.join(out, "OPCServerModbus.ico"), "wb") as f:
        f.write(header + data)


if __name__ == "__main__":
    main()
