#!/usr/bin/env python3
"""Draws the tool's icon, the indication module with its 24 indicators, as imconf.svg and as a
48x48 imconf-48.png (standard library only). Run it again after changing the drawing."""
import os
import struct
import zlib

SIZE = 48
BODY = (4, 5, 40, 32, 4)            # x, y, width, height, corner radius
PANEL = (8, 9, 32, 24, 1)
LINE = [(24, 37), (24, 42), (41, 42)]
COLS = [11.0 + 5.2 * i for i in range(6)]
ROWS = [13.0 + 5.3 * j for j in range(4)]
RADIUS = 1.9
GREEN, RED, YELLOW = "#3ec43e", "#e03030", "#f0c020"
ALARMS = {(1, 1), (4, 2)}           # (column, row) of the red indicators


def indicator_colour(col, row):
    if (col, row) in ALARMS:
        return RED
    return YELLOW if row == 3 else GREEN


def svg():
    out = ['<?xml version="1.0" encoding="UTF-8"?>',
           '<!-- The indication module: a panel with 24 indicators and its serial line. -->',
           f'<svg xmlns="http://www.w3.org/2000/svg" width="{SIZE}" height="{SIZE}" '
           f'viewBox="0 0 {SIZE} {SIZE}">']
    x, y, w, h, r = BODY
    out.append(f'  <rect x="{x}" y="{y}" width="{w}" height="{h}" rx="{r}" fill="#d8d8d8" '
               'stroke="#4a4a4a" stroke-width="2"/>')
    x, y, w, h, r = PANEL
    out.append(f'  <rect x="{x}" y="{y}" width="{w}" height="{h}" rx="{r}" fill="#2b2b2b"/>')
    for row, cy in enumerate(ROWS):
        for col, cx in enumerate(COLS):
            out.append(f'  <circle cx="{cx:g}" cy="{cy:g}" r="{RADIUS}" '
                       f'fill="{indicator_colour(col, row)}"/>')
    path = " ".join(("M" if i == 0 else "L") + f"{px} {py}" for i, (px, py) in enumerate(LINE))
    out.append(f'  <path d="{path}" fill="none" stroke="#0a64ad" stroke-width="3" '
               'stroke-linecap="round" stroke-linejoin="round"/>')
    out.append('</svg>')
    return "\n".join(out) + "\n"


def rgb(hex_colour):
    return tuple(int(hex_colour[i:i + 2], 16) for i in (1, 3, 5))


def in_round_rect(px, py, rect, grow=0.0):
    x, y, w, h, r = rect
    x, y, w, h, r = x - grow, y - grow, w + 2 * grow, h + 2 * grow, r + grow
    if not (x <= px <= x + w and y <= py <= y + h):
        return False
    cx = min(max(px, x + r), x + w - r)
    cy = min(max(py, y + r), y + h - r)
    return (px - cx) ** 2 + (py - cy) ** 2 <= r * r


def near_line(px, py, width):
    for (ax, ay), (bx, by) in zip(LINE, LINE[1:]):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
        if (px - ax - t * dx) ** 2 + (py - ay - t * dy) ** 2 <= (width / 2) ** 2:
            return True
    return False


def colour_at(px, py):
    """The colour of one point, painted in the SVG's order; None is transparent."""
    colour = None
    if in_round_rect(px, py, BODY, 1.0):
        colour = "#4a4a4a"
    if in_round_rect(px, py, BODY, -1.0):
        colour = "#d8d8d8"
    if in_round_rect(px, py, PANEL):
        colour = "#2b2b2b"
    for row, cy in enumerate(ROWS):
        for col, cx in enumerate(COLS):
            if (px - cx) ** 2 + (py - cy) ** 2 <= RADIUS ** 2:
                colour = indicator_colour(col, row)
    if near_line(px, py, 3):
        colour = "#0a64ad"
    return colour


def png():
    samples = 4
    rows = []
    for y in range(SIZE):
        row = bytearray([0])
        for x in range(SIZE):
            total = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    c = colour_at(x + (sx + 0.5) / samples, y + (sy + 0.5) / samples)
                    if c is not None:
                        r, g, b = rgb(c)
                        total[0] += r
                        total[1] += g
                        total[2] += b
                        total[3] += 1
            n = total[3]
            if n == 0:
                row += bytes(4)
            else:
                row += bytes([total[0] // n, total[1] // n, total[2] // n, 255 * n // samples ** 2])
        rows.append(bytes(row))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "imconf.svg"), "w", encoding="utf-8") as f:
        f.write(svg())
    with open(os.path.join(here, "imconf-48.png"), "wb") as f:
        f.write(png())
