#!/usr/bin/env python3
# Draws the program's three 16 x 16, 16-colour icons and writes them next to
# this script: app.ico (the icon the program file shows), idle.ico (tray icon
# while nothing is received) and active.ico (tray icon while a command is being
# received). All three show the same small remote control; the round key in
# its middle is an unlit dark green in idle.ico and a lit yellow with a red rim
# in active.ico, so the tray blink is plain to see. Standard library only; run
# it again after changing a picture and keep the .ico files it writes.

import os
import struct

SIZE = 16

# The standard 16-colour palette, in the order Windows uses for 4-bit bitmaps.
PALETTE = [
    (0x00, 0x00, 0x00),  # 0 black
    (0x80, 0x00, 0x00),  # 1 dark red
    (0x00, 0x80, 0x00),  # 2 dark green
    (0x80, 0x80, 0x00),  # 3 olive
    (0x00, 0x00, 0x80),  # 4 navy
    (0x80, 0x00, 0x80),  # 5 purple
    (0x00, 0x80, 0x80),  # 6 teal
    (0xC0, 0xC0, 0xC0),  # 7 light grey
    (0x80, 0x80, 0x80),  # 8 dark grey
    (0xFF, 0x00, 0x00),  # 9 red
    (0x00, 0xFF, 0x00),  # 10 bright green
    (0xFF, 0xFF, 0x00),  # 11 yellow
    (0x00, 0x00, 0xFF),  # 12 blue
    (0xFF, 0x00, 0xFF),  # 13 magenta
    (0x00, 0xFF, 0xFF),  # 14 cyan
    (0xFF, 0xFF, 0xFF),  # 15 white
]

BLACK, DARK_RED, DARK_GREEN, NAVY = 0, 1, 2, 4
LIGHT_GREY, DARK_GREY, RED, YELLOW = 7, 8, 9, 11
BLUE, CYAN, WHITE = 12, 14, 15

# One character per pixel, top row first. '.' is transparent; 'K' black
# outline, 'B' body, 'b' light-grey keys, 'E' the infrared window at the tip,
# 'R' the rim of the middle key, 'C' its centre, 'W' the beam above the tip.
SHAPE = [
    "...W...WW...W...",
    "....KKKKKKKK....",
    "...KBBBEEBBBK...",
    "...KBBBBBBBBK...",
    "...KBbBBBBbBK...",
    "...KBBRRRRBBK...",
    "...KBRCCCCRBK...",
    "...KBRCCCCRBK...",
    "...KBRCCCCRBK...",
    "...KBRCCCCRBK...",
    "...KBBRRRRBBK...",
    "...KBBBBBBBBK...",
    "...KBbBbbBbBK...",
    "...KBbBbbBbBK...",
    "...KBBBBBBBBK...",
    "....KKKKKKKK....",
]

# Colour of each letter for each picture; None leaves the pixel transparent.
COMMON = {"K": BLACK, "B": DARK_GREY, "b": LIGHT_GREY}
PICTURES = {
    "app.ico": dict(COMMON, E=RED, R=NAVY, C=BLUE, W=CYAN),
    "idle.ico": dict(COMMON, E=DARK_RED, R=BLACK, C=DARK_GREEN, W=None),
    "active.ico": dict(COMMON, E=RED, R=RED, C=YELLOW, W=YELLOW),
}


def PixelGrid(colours):
    # Returns rows (top first) of palette indexes, None where transparent.
    grid = []
    for line in SHAPE:
        assert len(line) == SIZE
        grid.append([None if ch == "." else colours[ch] for ch in line])
    assert len(grid) == SIZE
    return grid


def PadRow(data):
    return data + b"\0" * (-len(data) % 4)


def BuildIcon(grid):
    xorRows = []
    andRows = []
    for row in reversed(grid):  # bitmaps are stored bottom row first
        nibbles = [0 if p is None else p for p in row]
        xorRows.append(PadRow(bytes(
            (nibbles[i] << 4) | nibbles[i + 1] for i in range(0, SIZE, 2))))
        # AND mask: 1 keeps the screen (transparent), 0 shows the XOR pixel.
        bits = 0
        for p in row:
            bits = (bits << 1) | (1 if p is None else 0)
        andRows.append(PadRow(bits.to_bytes(SIZE // 8, "big")))
    xorData = b"".join(xorRows)
    andData = b"".join(andRows)

    palette = b"".join(struct.pack("<BBBB", b, g, r, 0)
                       for (r, g, b) in PALETTE)
    header = struct.pack(
        "<IiiHHIIiiII",
        40,                 # biSize
        SIZE,               # biWidth
        SIZE * 2,           # biHeight: XOR image and AND mask together
        1,                  # biPlanes
        4,                  # biBitCount
        0,                  # biCompression: BI_RGB
        len(xorData) + len(andData),  # biSizeImage
        0, 0,               # resolution, unused
        0, 0)               # biClrUsed, biClrImportant: all 16
    image = header + palette + xorData + andData

    iconDir = struct.pack("<HHH", 0, 1, 1)       # reserved, type icon, count
    entryOffset = len(iconDir) + 16
    entry = struct.pack(
        "<BBBBHHII",
        SIZE, SIZE,         # width, height
        16,                 # colour count
        0,                  # reserved
        1,                  # planes
        4,                  # bits per pixel
        len(image),         # size of the image data
        entryOffset)        # where it starts in the file
    return iconDir + entry + image


def Main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, colours in PICTURES.items():
        path = os.path.join(here, name)
        with open(path, "wb") as f:
            f.write(BuildIcon(PixelGrid(colours)))
        print("wrote", path)


if __name__ == "__main__":
    Main()
