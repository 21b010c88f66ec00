#!/usr/bin/env python3
"""Draws the bitmaps and icons of Ferrow.exe into resources/art/.

Every picture is 16-colour pixel art in the classic toolbar style. Small ones
are drawn as character maps below, one character per pixel; the animated and
round ones are computed. Change a map, run this script, rebuild.

    python3 tools/draw-resources.py

Character colours (the 16 standard Windows colours):
  k black   r maroon  g green   y olive   b navy    m purple  t teal    s silver
  d gray    R red     G lime    Y yellow  B blue    M fuchsia C aqua    W white
  .         transparent (silver in the tool strip, masked out in icons)
"""
import math
import os
import struct
import sys

PALETTE = {
    'k': (0, 0, 0), 'r': (128, 0, 0), 'g': (0, 128, 0), 'y': (128, 128, 0),
    'b': (0, 0, 128), 'm': (128, 0, 128), 't': (0, 128, 128), 's': (192, 192, 192),
    'd': (128, 128, 128), 'R': (255, 0, 0), 'G': (0, 255, 0), 'Y': (255, 255, 0),
    'B': (0, 0, 255), 'M': (255, 0, 255), 'C': (0, 255, 255), 'W': (255, 255, 255),
}
ORDER = 'krgybmtsdRGYBMCW'  # palette index order of the 4-bit and 8-bit files
SILVER = (192, 192, 192)


def grid(rows, width=16, height=16, name='?'):
    if len(rows) > height:
        sys.exit('%s: %d rows, at most %d' % (name, len(rows), height))
    rows = list(rows) + ['.' * width] * (height - len(rows))
    for i, row in enumerate(rows):
        if len(row) != width:
            sys.exit('%s: row %d is %d wide, not %d' % (name, i, len(row), width))
        for ch in row:
            if ch != '.' and ch not in PALETTE:
                sys.exit('%s: unknown colour %r' % (name, ch))
    return [list(r) for r in rows]


def overlay(base, top):
    return [[t if t != '.' else b for b, t in zip(br, tr)] for br, tr in zip(base, top)]


def outline(pixels, colour='k'):
    """Turns body pixels that touch transparency (or the edge) into an outline."""
    h, w = len(pixels), len(pixels[0])
    out = [row[:] for row in pixels]
    for y in range(h):
        for x in range(w):
            if pixels[y][x] == '.':
                continue
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                nx, ny = x + dx, y + dy
                if not (0 <= nx < w and 0 <= ny < h) or pixels[ny][nx] == '.':
                    out[y][x] = colour
                    break
    return out


def disc(size, cx, cy, radius, inside):
    """Pixels within radius of (cx, cy) take inside(x, y), others stay transparent."""
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            dx, dy = x + 0.5 - cx, y + 0.5 - cy
            row.append(inside(dx, dy) if dx * dx + dy * dy <= radius * radius else '.')
        rows.append(row)
    return rows


# --- pictures of the tool strip (bitmap 125, images 0 to 14) -------------

PAGE = [
    '.kkkkkkkk.......',
    '.kWWWWWWkk......',
    '.kWWWWWWkWk.....',
    '.kWddddWkkkk....',
    '.kWWWWWWWWWk....',
    '.kWdddddddWk....',
    '.kWWWWWWWWWk....',
    '.kWdddddddWk....',
    '.kWWWWWWWWWk....',
    '.kWdddddddWk....',
    '.kWWWWWWWWWk....',
    '.kWdddddddWk....',
    '.kWWWWWWWWWk....',
    '.kkkkkkkkkkk....',
]

LENS = [
    '', '', '', '', '', '',
    '.......kkkk.....',
    '......kCWCCk....',
    '......kWCCCk....',
    '......kCCCCk....',
    '......kCCCCk....',
    '.......kkkkd....',
    '...........kkd..',
    '............kkd.',
    '.............kkd',
    '..............kk',
]


def pad(rows):
    return [r if r else '.' * 16 for r in rows]


ANALYSE = overlay(grid(PAGE, name='page'), grid(pad(LENS), name='lens'))

STOP = grid([
    '................',
    '.....kkkkkk.....',
    '....kRRRRRRk....',
    '...kRRRRRRRRk...',
    '..kRRRRRRRRRRk..',
    '.kRRRRRRRRRRRRk.',
    '.kRRRRRRRRRRRRk.',
    '.kRWWWWWWWWWWRk.',
    '.kRWWWWWWWWWWRk.',
    '.kRRRRRRRRRRRRk.',
    '.kRRRRRRRRRRRRk.',
    '..kRRRRRRRRRRk..',
    '...kRRRRRRRRk...',
    '....kRRRRRRk....',
    '.....kkkkkk.....',
], name='stop')

HELP = grid([
    '.....bbbbbb.....',
    '...bbBBBBBBbb...',
    '..bBBBBBBBBBBb..',
    '.bBBBBWWWWBBBBb.',
    '.bBBBWWBBWWBBBb.',
    'bBBBBWWBBWWBBBBb',
    'bBBBBBBBBWWBBBBb',
    'bBBBBBBBWWBBBBBb',
    'bBBBBBBWWBBBBBBb',
    'bBBBBBBWWBBBBBBb',
    '.bBBBBBBBBBBBBb.',
    '.bBBBBBWWBBBBBb.',
    '..bBBBBWWBBBBb..',
    '...bbBBBBBBbb...',
    '.....bbbbbb.....',
], name='help')

ABOUT = grid([
    '.....bbbbbb.....',
    '...bbBBBBBBbb...',
    '..bBBBBWWBBBBb..',
    '.bBBBBBWWBBBBBb.',
    '.bBBBBBBBBBBBBb.',
    'bBBBBBWWWBBBBBBb',
    'bBBBBBBWWBBBBBBb',
    'bBBBBBBWWBBBBBBb',
    'bBBBBBBWWBBBBBBb',
    'bBBBBBBWWBBBBBBb',
    '.bBBBBBWWBBBBBb.',
    '.bBBBBWWWWBBBBb.',
    '..bBBBBBBBBBBb..',
    '...bbBBBBBBbb...',
    '.....bbbbbb.....',
], name='about')

EXIT = grid([
    '......kkkkkkkkk.',
    '......kddddddWk.',
    '......kdkyyyyWk.',
    '......kdkyyyyWk.',
    '...g..kdkyyyyWk.',
    '..gG..kdkyyyyWk.',
    '.gGGGGGGkyyyyWk.',
    'gGGGGGGGkyyYyWk.',
    '.gGGGGGGkyyyyWk.',
    '..gG..kdkyyyyWk.',
    '...g..kdkyyyyWk.',
    '......kdkyyyyWk.',
    '......kdkyyyyWk.',
    '......kdkkkkkWk.',
    '......kkkkkkkkk.',
], name='exit')


# One quarter of the gear; the other three are its mirror images.
GEAR_QUARTER = [
    '......kk',
    '..kk..kW',
    '.kWdkkWd',
    '.kWddddd',
    '..kWdddd',
    '..kWddkk',
    'kkkWdk..',
    'kWWddk..',
]


def mirrored(quarter):
    half = [row + row[::-1].replace('W', 'd') for row in quarter]
    return half + [row.replace('W', 'd') for row in half[::-1]]


SETTINGS = grid(mirrored(GEAR_QUARTER), name='settings')

FOLDER = grid([
    '................',
    '................',
    '..kkkkk.........',
    '.kWYYYWk........',
    'kWYYYYYYkkkkkkk.',
    'kWYYYYYYYYYYYYyk',
    'kWYYYYYYYYYYYYyk',
    'kWYYYYYYYYYYYYyk',
    'kWYYYYYYYYYYYYyk',
    'kWYYYYYYYYYYYYyk',
    'kWYYYYYYYYYYYYyk',
    'kWYYYYYYYYYYYYyk',
    'kyyyyyyyyyyyyyyk',
    '.kkkkkkkkkkkkkk.',
], name='folder')

LIST_VIEW = grid([
    '................',
    '................',
    '.BB.kkkk.BB.kkk.',
    '.bb......bb.....',
    '................',
    '.BB.kkk..BB.kkkk',
    '.bb......bb.....',
    '................',
    '.BB.kkkk.BB.kk..',
    '.bb......bb.....',
    '................',
    '.BB.kkk.........',
    '.bb.............',
], name='list view')

DETAILS_VIEW = grid([
    '................',
    '................',
    '.BB.kkkkk.kk.kkk',
    '.bb.............',
    '................',
    '.BB.kkkk..kk.kkk',
    '.bb.............',
    '................',
    '.BB.kkkkk.k..kkk',
    '.bb.............',
    '................',
    '.BB.kkk...kk.kkk',
    '.bb.............',
], name='details view')

DOWNLOAD = grid([
    '.....kkkkk......',
    '.....kGGGk......',
    '.....kGGGk......',
    '.....kGGGk......',
    '.....kGGGk......',
    '..kkkkGGGkkkk...',
    '...kGGGGGGGk....',
    '....kGGGGGk.....',
    '.k...kGGGk...k..',
    '.kd...kGk...dk..',
    '.kd....k....dk..',
    '.kdddddddddddk..',
    '.kkkkkkkkkkkkk..',
], name='download')

DOWNLOAD_ALL = grid([
    '...kkk....kkk...',
    '...kGk....kGk...',
    '...kGk....kGk...',
    '...kGk....kGk...',
    '.kkkGkkk.kkGkkk.',
    '..kGGGk...kGGGk.',
    '...kGk.....kGk..',
    '.k..k.......k.k.',
    '.kd..........dk.',
    '.kd..........dk.',
    '.kddddddddddddk.',
    '.kkkkkkkkkkkkkk.',
], name='download all')

VIEWER = grid([
    '................',
    'kkkkkkkkkkkkkkkk',
    'kWWWWWWWWWWWWWWk',
    'kWCCCCCCCCCYYCWk',
    'kWCCCCCCCCCYYCWk',
    'kWCCCCCCCCCCCCWk',
    'kWCCCCgCCCCCCCWk',
    'kWCCCggGCCCCCCWk',
    'kWCCgggGGCCgCCWk',
    'kWCgggggGGggGCWk',
    'kWgggggggggggGWk',
    'kWggggggggggggWk',
    'kWWWWWWWWWWWWWWk',
    'kkkkkkkkkkkkkkkk',
], name='viewer')

LAND = [
    '................',
    '................',
    '....GG..........',
    '...GGGGG....GG..',
    '..GGGGGG...GGGG.',
    '..GGGGG....GGG..',
    '...GGG......G...',
    '....GG..........',
    '.....GG....GGG..',
    '.....GGG..GGGGG.',
    '......G...GGGG..',
    '...........GG...',
]


def globe(size=16):
    body = disc(size, size / 2, size / 2, size / 2 - 0.3,
                lambda dx, dy: 'C' if dx + dy < -size / 3 else 'B')
    land = grid(pad(LAND), name='land')
    body = [[land[y][x] if body[y][x] != '.' and land[y][x] != '.' else body[y][x]
             for x in range(size)] for y in range(size)]
    return outline(body, 'b')


ARROW_IN = [
    '', '', '', '', '', '', '', '', '',
    '.........kkk....',
    '.........kRk....',
    '.......kkkRkkk..',
    '........kRRRk...',
    '.........kRk....',
    '..........k.....',
]

BROWSER = overlay(globe(), grid(pad(ARROW_IN), name='arrow in'))

SAVE = grid([
    'kkkkkkkkkkkkkkk.',
    'kbkWWWWWWWWWkbk.',
    'kbkWWWWWWWWWkbk.',
    'kbkWWWWWWWWWkbk.',
    'kbkWWWWWWWWWkbk.',
    'kbbkkkkkkkkkbbk.',
    'kbbbbbbbbbbbbbk.',
    'kbbkkkkkkkkkbbk.',
    'kbbkdddddkWkbbk.',
    'kbbkdddddkWkbbk.',
    'kbbkdddddkWkbbk.',
    '.kkkkkkkkkkkkkk.',
], name='save')

STRIP = [ANALYSE, STOP, grid(PAGE, name='page'), HELP, EXIT, SAVE, SETTINGS, ABOUT, FOLDER,
         LIST_VIEW, DETAILS_VIEW, DOWNLOAD, DOWNLOAD_ALL, VIEWER, BROWSER]

# --- file-type icons (16 x 16) -----------------------------------------

DOC = [
    '..kkkkkkkkk.....',
    '..kWWWWWWWkk....',
    '..kWWWWWWWkWk...',
    '..kWWWWWWWkkkk..',
    '..kWWWWWWWWWWk..',
    '..kWWWWWWWWWWk..',
    '..kWWWWWWWWWWk..',
    '..kWWWWWWWWWWk..',
    '..kWWWWWWWWWWk..',
    '..kWWWWWWWWWWk..',
    '..kWWWWWWWWWWk..',
    '..kWWWWWWWWWWk..',
    '..kWWWWWWWWWWk..',
    '..kWWWWWWWWWWk..',
    '..kkkkkkkkkkkk..',
]

WIDE_DOC = [
    'kkkkkkkkkkkk....',
    'kWWWWWWWWWWkk...',
    'kWWWWWWWWWWkWk..',
    'kWWWWWWWWWWkkkk.',
    'kWWWWWWWWWWWWWk.',
    'kWWWWWWWWWWWWWk.',
    'kWWWWWWWWWWWWWk.',
    'kWWWWWWWWWWWWWk.',
    'kWWWWWWWWWWWWWk.',
    'kWWWWWWWWWWWWWk.',
    'kWWWWWWWWWWWWWk.',
    'kWWWWWWWWWWWWWk.',
    'kWWWWWWWWWWWWWk.',
    'kWWWWWWWWWWWWWk.',
    'kkkkkkkkkkkkkkk.',
]

OTHER_LINES = [
    '', '', '', '',
    '....ddddddd.....',
    '................',
    '....dddddddd....',
    '................',
    '....ddddd.......',
    '................',
    '....dddddddd....',
    '................',
    '....dddddd......',
]

SMALL_GLOBE = [
    '', '', '', '',
    '.....bbbbb......',
    '....bBGGBBb.....',
    '...bBGGGBBGb....',
    '...bBGGBBBGb....',
    '...bBBGBBBBb....',
    '...bBBBBGGBb....',
    '...bBBBBGGBb....',
    '....bBBBGBb.....',
    '.....bbbbb......',
]

OUT_ARROW = [
    '', '', '', '', '', '', '', '',
    '................',
    '.........kkkkk..',
    '..........kRRk..',
    '.........kRRRk..',
    '........kRRkRk..',
    '.........kk.k...',
]

LANDSCAPE = [
    '', '', '', '',
    '...kkkkkkkkk....',
    '...kCCCCCCYk....',
    '...kCCCCCCCk....',
    '...kCCCgCCCk....',
    '...kCCgggCCk....',
    '...kCgggggGk....',
    '...kgggggggk....',
    '...kkkkkkkkk....',
]


def letters(rows, colour):
    return [r.replace('#', colour) for r in rows]


GIF_MARK = letters([
    '', '', '', '', '', '',
    '...##.###.###...',
    '..#....#..#.....',
    '..#.#..#..##....',
    '..#.#..#..#.....',
    '...##.###.#.....',
], 'M')

PNG_MARK = letters([
    '', '', '', '', '', '',
    '..##..#..#..##..',
    '..#.#.##.#.#....',
    '..##..#.##.#.#..',
    '..#...#..#.#.#..',
    '..#...#..#..##..',
], 'g')

WAV_MARK = [
    '', '', '', '',
    '.........k......',
    '.......kkd......',
    '...bbkkdd..d....',
    '...bBkddd...d...',
    '...bBkddd.d.d...',
    '...bBkddd...d...',
    '...bbkkdd..d....',
    '.......kkd......',
    '.........k......',
]


def icon16(*layers):
    picture = grid(pad(layers[0]), name='icon')
    for layer in layers[1:]:
        picture = overlay(picture, grid(pad(layer), name='icon layer'))
    return picture


ICONS16 = {
    'html.ico': icon16(DOC, SMALL_GLOBE),
    'external_html.ico': icon16(DOC, SMALL_GLOBE, OUT_ARROW),
    'jpeg.ico': icon16(DOC, LANDSCAPE),
    'gif.ico': icon16(WIDE_DOC, GIF_MARK),
    'png.ico': icon16(WIDE_DOC, PNG_MARK),
    'wav.ico': icon16(DOC, WAV_MARK),
    'other.ico': icon16(DOC, OTHER_LINES),
}

# --- program icon: a globe with the download arrow -------------------------


def program_icon(size):
    body = globe(size) if size == 16 else None
    if body is None:
        scale = size / 16.0
        small = globe(16)
        body = [[small[int(y / scale)][int(x / scale)] for x in range(size)]
                for y in range(size)]
    arrow = [['.'] * size for _ in range(size)]
    s = size / 16.0
    # Shaft and head of a lime arrow pointing down over the globe's lower right.
    cx = int(11 * s)
    for y in range(int(6 * s), int(11 * s)):
        for x in range(cx - int(1 * s), cx + int(1 * s) + 1):
            arrow[y][x] = 'G'
    for i in range(int(4 * s)):
        y = int(11 * s) + i
        for x in range(cx - int(3 * s) + i, cx + int(3 * s) - i + 1):
            if 0 <= y < size and 0 <= x < size:
                arrow[y][x] = 'G'
    arrow = outline(arrow, 'g')
    return overlay(body, arrow)


# --- logo strip (bitmap 109) and indicator strip (bitmap 120) ----------

LOGO_FRAMES = 17
LOGO_PITCH = 26


def land_at(lon, lat):
    v = (math.sin(2 * lon + 0.5) * math.cos(2.5 * lat) + 0.45 * math.sin(5 * lon + 1.3)
         + 0.3 * math.cos(3 * lat + lon))
    return v > 0.55


def logo_frame(k):
    """A globe turning once in 17 frames; frame 0 is the resting picture."""
    phase = 2 * math.pi * k / LOGO_FRAMES
    cx, cy, r = 13.0, 12.5, 10.6
    pixels = []
    for y in range(LOGO_PITCH):
        row = []
        for x in range(26):
            dx, dy = (x + 0.5 - cx) / r, (y + 0.5 - cy) / r
            d2 = dx * dx + dy * dy
            if y >= 25 or d2 > 1.0:
                row.append(SILVER)
                continue
            if d2 > 0.86:
                row.append((0, 0, 96))
                continue
            z = math.sqrt(1.0 - d2)
            lon = math.atan2(dx, z) + phase
            lat = math.asin(max(-1.0, min(1.0, dy)))
            light = 0.45 + 0.55 * max(0.0, (-0.45 * dx - 0.55 * dy + 0.7 * z))
            if land_at(lon, lat):
                base = (40, 200, 40)
            else:
                base = (40, 90, 255)
            row.append(tuple(min(255, int(c * light)) for c in base))
        pixels.append(row)
    return pixels


def indicator_frame(k):
    """Two small arrows on black (transparent): up lit, down lit, or both gray."""
    up_on, down_on = {0: (True, False), 1: (False, True)}.get(k, (False, False))
    green = (0, 255, 0) if up_on else (0, 96, 0)
    red = (255, 64, 64) if down_on else (112, 0, 0)
    if k >= 2:
        green = red = (128, 128, 128)
    pixels = [[(0, 0, 0)] * 14 for _ in range(14)]
    up = ['...#...', '..###..', '.#####.', '#######', '..###..', '..###..', '..###..']
    for y, row in enumerate(up):
        for x, ch in enumerate(row):
            if ch == '#':
                pixels[2 + y][x] = green
                pixels[11 - y][7 + x] = red
    return pixels


# --- writers -------------------------------------------------------------


def rgb_of(ch):
    return SILVER if ch == '.' else PALETTE[ch]


def write_bmp24(path, pixels):
    h, w = len(pixels), len(pixels[0])
    stride = (w * 3 + 3) & ~3
    body = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for (r, g, b) in row:
            line += bytes((b, g, r))
        line += b'\0' * (stride - len(line))
        body += line
    header = struct.pack('<2sIHHI', b'BM', 54 + len(body), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    with open(path, 'wb') as f:
        f.write(header + info + body)


def write_bmp8(path, pictures):
    """The tool strip: 8-bit, 40 images of 16 x 16 side by side, silver behind."""
    w, h = 640, 16
    strip = [['.'] * w for _ in range(h)]
    for i, pic in enumerate(pictures):
        for y in range(16):
            for x in range(16):
                if pic[y][x] == 's':
                    sys.exit('tool strip image %d uses silver, the transparent colour' % i)
                strip[y][16 * i + x] = pic[y][x]
    palette = bytearray()
    for ch in ORDER:
        r, g, b = PALETTE[ch]
        palette += bytes((b, g, r, 0))
    palette += b'\0' * (4 * (256 - len(ORDER)))
    body = bytearray()
    for row in reversed(strip):
        body += bytes(ORDER.index('s' if ch == '.' else ch) for ch in row)
    offset = 54 + len(palette)
    header = struct.pack('<2sIHHI', b'BM', offset + len(body), 0, 0, offset)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 8, 0, len(body), 2835, 2835, 256, 0)
    with open(path, 'wb') as f:
        f.write(header + info + palette + body)


def icon_image(pic):
    """One 4-bit icon image with its AND mask (BITMAPINFOHEADER, palette, bits)."""
    size = len(pic)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    palette = bytearray()
    for ch in ORDER:
        r, g, b = PALETTE[ch]
        palette += bytes((b, g, r, 0))
    xor = bytearray()
    mask = bytearray()
    for row in reversed(pic):
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, ch in enumerate(row):
            index = 0 if ch == '.' else ORDER.index(ch)
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if ch == '.':
                bits[x // 8] |= 0x80 >> (x % 8)
        xor += line
        mask += bits
    info = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, len(xor) + len(mask),
                       0, 0, 16, 0)
    return info + palette + xor + mask


def write_ico(path, pictures):
    images = [icon_image(p) for p in pictures]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for pic, data in zip(pictures, images):
        size = len(pic)
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'resources', 'art')
    os.makedirs(root, exist_ok=True)
    write_bmp8(os.path.join(root, 'toolstrip.bmp'), STRIP)
    logo = []
    for k in range(LOGO_FRAMES):
        logo += logo_frame(k)
    logo = logo[:441]  # the last frame's spare 26th row does not exist
    write_bmp24(os.path.join(root, 'logo.bmp'), logo)
    indicator = [[] for _ in range(14)]
    for k in range(4):
        frame = indicator_frame(k)
        for y in range(14):
            indicator[y] += frame[y]
    write_bmp24(os.path.join(root, 'indicator.bmp'), indicator)
    for name, pic in ICONS16.items():
        write_ico(os.path.join(root, name), [pic])
    write_ico(os.path.join(root, 'ferrow.ico'), [program_icon(32), program_icon(16)])


if __name__ == '__main__':
    main()
