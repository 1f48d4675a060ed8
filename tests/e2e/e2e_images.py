"""Image files of one colour, made by the end-to-end tests so they need no image files, and the
icons an X window carries, read back."""
import re
import struct
import subprocess
import zlib


def net_wm_icons(wid):
    """The icons the window manager is given for an X window: {side: [ARGB, ...]}."""
    out = subprocess.run(["xprop", "-id", wid, "-notype", "32c", "_NET_WM_ICON"], capture_output=True,
                         text=True).stdout
    numbers = [int(n) & 0xFFFFFFFF for n in re.findall(r"-?\d+", out.partition("=")[2])]
    icons = {}
    while len(numbers) >= 2:
        width, height = numbers[0], numbers[1]
        icons[width] = numbers[2:2 + width * height]
        numbers = numbers[2 + width * height:]
    return icons


def png_bytes(width, height, rgba):
    """A PNG file of one colour (r, g, b, a)."""

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    rows = b"".join(b"\x00" + bytes(rgba) * width for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def ico_bytes(side, rgba):
    """An .ico file of one square 32-bit image of one colour (r, g, b, a)."""
    r, g, b, a = rgba
    pixels = bytes((b, g, r, a)) * (side * side)
    mask = bytes(((side + 31) // 32 * 4) * side)
    image = struct.pack("<IiiHHIIiiII", 40, side, side * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    image += pixels + mask
    return struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), 22) + image
