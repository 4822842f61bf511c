#!/usr/bin/env python3
"""Draws the VornisTools skin: every bitmap of the skin and its description, written
into OUTDIR (packed afterwards by skinpack), plus the menu check-mark strip
skinmenu.bmp into MENUDIR.

    python3 tools/skin/make_skin.py OUTDIR MENUDIR

The look is a dark launcher: slate greys with one warm orange accent (the orange of the
game button), one-pixel light and dark bevels, magenta (255, 0, 255) where a border or a
button corner is transparent. Standard library only.
"""
import os
import struct
import sys

MAGENTA = (255, 0, 255)

# The palette.
INK = (14, 16, 20)          # outermost edge
DEEP = (22, 25, 31)         # darkest fill
SLATE = (33, 37, 45)        # window face
PANEL = (43, 48, 58)        # raised surfaces
RIDGE = (62, 69, 82)        # light bevel
HAZE = (88, 96, 110)        # lines, disabled strokes
TEXT = (236, 232, 224)      # light text
MUTED = (140, 146, 156)     # inactive text
ORANGE = (230, 120, 0)      # accent
AMBER = (250, 160, 60)      # accent, hot
EMBER = (170, 80, 0)        # accent, pressed
RED = (200, 56, 44)         # close button, hot


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


class Canvas:
    def __init__(self, width, height, fill=MAGENTA):
        self.width, self.height = width, height
        self.rows = [[fill] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.rows[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        """Fills x0 <= x < x1, y0 <= y < y1."""
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                self.rows[y][x] = colour

    def vgradient(self, x0, y0, x1, y1, top, bottom):
        span = max(1, y1 - y0 - 1)
        for y in range(y0, y1):
            self.rect(x0, y, x1, y + 1, mix(top, bottom, (y - y0) / span))

    def frame(self, x0, y0, x1, y1, light, dark):
        """One-pixel bevel: light top and left, dark bottom and right."""
        self.rect(x0, y0, x1, y0 + 1, light)
        self.rect(x0, y0, x0 + 1, y1, light)
        self.rect(x0, y1 - 1, x1, y1, dark)
        self.rect(x1 - 1, y0, x1, y1, dark)

    def round_corners(self, x0, y0, x1, y1, radius, top=True, bottom=True):
        """Makes the corners outside a quarter circle magenta."""
        for dy in range(radius):
            for dx in range(radius):
                cx, cy = radius - dx - 0.5, radius - dy - 0.5
                if cx * cx + cy * cy > radius * radius:
                    if top:
                        self.put(x0 + dx, y0 + dy, MAGENTA)
                        self.put(x1 - 1 - dx, y0 + dy, MAGENTA)
                    if bottom:
                        self.put(x0 + dx, y1 - 1 - dy, MAGENTA)
                        self.put(x1 - 1 - dx, y1 - 1 - dy, MAGENTA)

    def blit(self, other, x, y):
        for row in range(other.height):
            for column in range(other.width):
                self.put(x + column, y + row, other.rows[row][column])

    def bmp(self):
        stride = (self.width * 3 + 3) & ~3
        body = bytearray()
        for row in reversed(self.rows):
            line = bytearray()
            for r, g, b in row:
                line += bytes((b, g, r))
            body += line + bytes(stride - len(line))
        header = struct.pack("<2sIHHI", b"BM", 54 + len(body), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 24, 0, len(body),
                           2835, 2835, 0, 0)
        return header + info + bytes(body)


def strip(frames, draw, width, height):
    """Frames side by side, each drawn by draw(canvas, x0, index)."""
    canvas = Canvas(width * frames, height)
    for index in range(frames):
        draw(canvas, index * width, index)
    return canvas


# Window frame. The caption is 30 pixels high; the side borders start with the same 30
# pixels so the caption's rounded corners continue into them.
CAPTION = 30
SIDE = 4
BOTTOM = 4


def caption_colours(active):
    return (PANEL, DEEP) if active else (mix(PANEL, SLATE, 0.6), SLATE)


def draw_top(canvas, x0, index):
    active = index == 0
    top, bottom = caption_colours(active)
    w = canvas.width // 2
    canvas.vgradient(x0, 0, x0 + w, CAPTION, top, bottom)
    canvas.rect(x0, 0, x0 + w, 1, RIDGE if active else PANEL)
    accent = ORANGE if active else HAZE
    canvas.rect(x0, CAPTION - 2, x0 + w, CAPTION - 1, accent)
    canvas.rect(x0, CAPTION - 1, x0 + w, CAPTION, INK)


def draw_side(canvas, x0, index, left):
    active = index == 0
    top, bottom = caption_colours(active)
    h = canvas.height
    canvas.vgradient(x0, 0, x0 + SIDE, CAPTION, top, bottom)
    canvas.rect(x0, 0, x0 + SIDE, 1, RIDGE if active else PANEL)
    canvas.rect(x0, CAPTION - 2, x0 + SIDE, CAPTION - 1, ORANGE if active else HAZE)
    canvas.rect(x0, CAPTION - 1, x0 + SIDE, h, DEEP)
    outer = x0 if left else x0 + SIDE - 1
    inner = x0 + SIDE - 1 if left else x0
    canvas.rect(outer, 0, outer + 1, h, INK)
    canvas.rect(inner, CAPTION, inner + 1, h - BOTTOM + 1, PANEL)
    canvas.rect(x0, h - 1, x0 + SIDE, h, INK)
    # Rounded top corner, three pixels of radius, seen through the transparency.
    corner = [(0, 0), (1, 0), (2, 0), (0, 1), (0, 2)] if left else [(3, 0), (2, 0), (1, 0), (3, 1), (3, 2)]
    for dx, dy in corner:
        canvas.put(x0 + dx, dy, MAGENTA)
    canvas.put(x0 + (1 if left else 2), 1, INK)


def draw_bottom(canvas, x0, index):
    w = canvas.width // 2
    canvas.rect(x0, 0, x0 + w, BOTTOM, DEEP)
    canvas.rect(x0, 0, x0 + w, 1, PANEL)
    canvas.rect(x0, BOTTOM - 1, x0 + w, BOTTOM, INK)


# Caption buttons: 4 frames (normal, pressed, hot, disabled) of 22 x 18.
CB_W, CB_H = 22, 18


def caption_button(glyph, hot_fill):
    def draw(canvas, x0, index):
        fill = [None, mix(hot_fill, INK, 0.35), hot_fill, None][index]
        stroke = [TEXT, TEXT, (255, 255, 255), HAZE][index]
        canvas.rect(x0, 0, x0 + CB_W, CB_H, MAGENTA)
        if fill:
            canvas.rect(x0, 0, x0 + CB_W, CB_H, fill)
            canvas.round_corners(x0, 0, x0 + CB_W, CB_H, 3)
        else:
            canvas.rect(x0 + 1, 1, x0 + CB_W - 1, CB_H - 1, MAGENTA)
        glyph(canvas, x0 + CB_W // 2, CB_H // 2 + (1 if index == 1 else 0), stroke)
    return strip(4, draw, CB_W, CB_H)


def glyph_close(canvas, cx, cy, colour):
    for d in range(-4, 5):
        for t in (0, 1):
            canvas.put(cx + d - 1 + t, cy + d, colour)
            canvas.put(cx - d - 1 + t, cy + d, colour)


def glyph_minimise(canvas, cx, cy, colour):
    canvas.rect(cx - 5, cy + 3, cx + 5, cy + 5, colour)


def glyph_maximise(canvas, cx, cy, colour):
    canvas.rect(cx - 5, cy - 4, cx + 5, cy - 2, colour)
    canvas.rect(cx - 5, cy - 4, cx - 4, cy + 5, colour)
    canvas.rect(cx + 4, cy - 4, cx + 5, cy + 5, colour)
    canvas.rect(cx - 5, cy + 4, cx + 5, cy + 5, colour)


def glyph_restore(canvas, cx, cy, colour):
    canvas.rect(cx - 2, cy - 5, cx + 6, cy - 4, colour)
    canvas.rect(cx + 5, cy - 5, cx + 6, cy + 2, colour)
    canvas.rect(cx - 6, cy - 2, cx + 3, cy - 1, colour)
    canvas.rect(cx - 6, cy - 2, cx - 5, cy + 5, colour)
    canvas.rect(cx + 2, cy - 2, cx + 3, cy + 5, colour)
    canvas.rect(cx - 6, cy + 4, cx + 3, cy + 5, colour)


def glyph_none(canvas, cx, cy, colour):
    pass


# Push buttons: 5 frames (normal, hot, pressed, disabled, focused) of 32 x 26, with
# 5-pixel fixed borders and rounded corners.
def draw_push(canvas, x0, index):
    w, h = 32, 26
    fills = [(PANEL, SLATE), (mix(PANEL, ORANGE, 0.25), PANEL), (EMBER, mix(EMBER, INK, 0.3)),
             (SLATE, SLATE), (PANEL, SLATE)]
    edges = [RIDGE, AMBER, ORANGE, PANEL, ORANGE]
    top, bottom = fills[index]
    canvas.vgradient(x0, 0, x0 + w, h, top, bottom)
    canvas.rect(x0, 0, x0 + w, 1, edges[index])
    canvas.rect(x0, h - 1, x0 + w, h, INK)
    canvas.rect(x0, 0, x0 + 1, h, edges[index] if index != 0 else RIDGE)
    canvas.rect(x0 + w - 1, 0, x0 + w, h, INK if index in (0, 3) else edges[index])
    if index == 4:
        canvas.rect(x0 + 1, h - 2, x0 + w - 1, h - 1, ORANGE)
    canvas.round_corners(x0, 0, x0 + w, h, 3)


# Check boxes and radio buttons: 8 frames of 13 x 13: unchecked normal, hot, pressed,
# disabled, then checked in the same order.
def draw_check(canvas, x0, index):
    checked, state = index >= 4, index % 4
    edge = [HAZE, AMBER, ORANGE, PANEL][state]
    fill = [DEEP, DEEP, SLATE, SLATE][state]
    canvas.rect(x0, 0, x0 + 13, 13, edge)
    canvas.rect(x0 + 1, 1, x0 + 12, 12, fill)
    if checked:
        mark = HAZE if state == 3 else AMBER if state == 1 else ORANGE
        for i, (x, y) in enumerate([(3, 6), (4, 7), (5, 8), (6, 7), (7, 6), (8, 5), (9, 4)]):
            canvas.rect(x0 + x, y, x0 + x + 1, y + 2, mark)


def draw_radio(canvas, x0, index):
    checked, state = index >= 4, index % 4
    edge = [HAZE, AMBER, ORANGE, PANEL][state]
    fill = [DEEP, DEEP, SLATE, SLATE][state]
    for y in range(13):
        for x in range(13):
            d = (x - 6) ** 2 + (y - 6) ** 2
            if d <= 34:
                canvas.put(x0 + x, y, fill if d <= 20 else edge)
            if checked and d <= 6:
                canvas.put(x0 + x, y, HAZE if state == 3 else ORANGE)


def bevel_box(w, h, fill, light, dark, frames=1, radius=0):
    def draw(canvas, x0, index):
        canvas.rect(x0, 0, x0 + w, h, fill)
        canvas.frame(x0, 0, x0 + w, h, light, dark)
        if radius:
            canvas.round_corners(x0, 0, x0 + w, h, radius)
    return strip(frames, draw, w, h)


def draw_progress_chunk(canvas, x0, index):
    canvas.vgradient(x0, 0, x0 + 12, 14, AMBER, EMBER)
    canvas.rect(x0, 0, x0 + 12, 1, (255, 196, 120))


def draw_tab(canvas, x0, index):
    # normal, hot, selected, disabled, focused
    w, h = 40, 24
    fill = [SLATE, PANEL, mix(PANEL, SLATE, 0.3), SLATE, mix(PANEL, SLATE, 0.3)][index]
    canvas.rect(x0, 0, x0 + w, h, fill)
    canvas.rect(x0, 0, x0 + w, 2 if index in (2, 4) else 1, ORANGE if index in (1, 2, 4) else RIDGE)
    canvas.rect(x0, 0, x0 + 1, h, RIDGE)
    canvas.rect(x0 + w - 1, 0, x0 + w, h, INK)
    canvas.round_corners(x0, 0, x0 + w, h, 2, bottom=False)


def draw_header(canvas, x0, index):
    w, h = 40, 22
    top, bottom = [(PANEL, SLATE), (mix(PANEL, ORANGE, 0.2), PANEL), (SLATE, DEEP)][index]
    canvas.vgradient(x0, 0, x0 + w, h, top, bottom)
    canvas.rect(x0, h - 1, x0 + w, h, ORANGE if index else INK)
    canvas.rect(x0 + w - 1, 3, x0 + w, h - 3, HAZE)


def draw_scroll_track(horizontal):
    def draw(canvas, x0, index):
        w, h = (24, 17) if horizontal else (17, 24)
        canvas.rect(x0, 0, x0 + w, h, [DEEP, DEEP, INK, SLATE][index])
        if horizontal:
            canvas.rect(x0, 0, x0 + w, 1, INK)
        else:
            canvas.rect(x0, 0, x0 + 1, h, INK)
    return draw


def draw_thumb(horizontal):
    def draw(canvas, x0, index):
        w, h = (24, 17) if horizontal else (17, 24)
        fill = [HAZE, mix(HAZE, ORANGE, 0.5), ORANGE][index]
        canvas.rect(x0, 0, x0 + w, h, MAGENTA)
        if horizontal:
            canvas.rect(x0 + 1, 4, x0 + w - 1, h - 4, fill)
            canvas.round_corners(x0 + 1, 4, x0 + w - 1, h - 4, 3)
        else:
            canvas.rect(x0 + 4, 1, x0 + w - 4, h - 1, fill)
            canvas.round_corners(x0 + 4, 1, x0 + w - 4, h - 1, 3)
    return draw


# The scroll bar strip: 23 frames of 17 x 17. Arrows up, down, left, right in four
# states (normal, hot, pressed, disabled) are frames 0-15; then the size grip, the
# horizontal and vertical track, and the horizontal and vertical thumb in three states
# (normal, hot, pressed: 17-22, alternating).
def draw_scrollbar(canvas, x0, index):
    canvas.rect(x0, 0, x0 + 17, 17, DEEP)
    if index < 16:
        direction, state = divmod(index, 4)
        colour = [MUTED, AMBER, ORANGE, HAZE][state]
        if state in (1, 2):
            canvas.rect(x0 + 1, 1, x0 + 16, 16, PANEL)
        for i in range(4):
            a, b = 8 - i, 8 + i + 1
            line = 6 + i if direction in (0, 2) else 10 - i
            if direction < 2:
                canvas.rect(x0 + a, line, x0 + b, line + 1, colour)
            else:
                canvas.rect(x0 + line, a, x0 + line + 1, b, colour)
    elif index == 16:
        for i in range(3):
            canvas.rect(x0 + 12 - 4 * i, 12, x0 + 14 - 4 * i, 14, HAZE)
            canvas.rect(x0 + 12, 12 - 4 * i, x0 + 14, 14 - 4 * i, HAZE)
    else:
        vertical, state = (index - 17) % 2, (index - 17) // 2
        fill = [HAZE, mix(HAZE, ORANGE, 0.5), ORANGE][state]
        if vertical:
            canvas.rect(x0 + 4, 1, x0 + 13, 16, fill)
        else:
            canvas.rect(x0 + 1, 4, x0 + 16, 13, fill)


def draw_menu_item(canvas, x0, index):
    canvas.vgradient(x0, 0, x0 + 24, 20, mix(ORANGE, PANEL, 0.35), mix(EMBER, PANEL, 0.3))
    canvas.rect(x0, 0, x0 + 24, 1, AMBER)
    canvas.round_corners(x0, 0, x0 + 24, 20, 2)


def draw_menu_bar(canvas, x0, index):
    canvas.vgradient(x0, 0, x0 + 32, 20, SLATE, DEEP)
    canvas.rect(x0, 19, x0 + 32, 20, INK)


def draw_combo_button(canvas, x0, index):
    canvas.rect(x0, 0, x0 + 17, 20, [PANEL, mix(PANEL, ORANGE, 0.3), EMBER, SLATE][index])
    canvas.rect(x0, 0, x0 + 1, 20, INK)
    colour = HAZE if index == 3 else TEXT
    for i in range(4):
        canvas.rect(x0 + 5 + i, 8 + i, x0 + 12 - i, 9 + i, colour)


def draw_updown(canvas, x0, index):
    # up/down (or left/right) arrow, each in normal, hot, pressed, disabled
    canvas.rect(x0, 0, x0 + 16, 10, [PANEL, mix(PANEL, ORANGE, 0.3), EMBER, SLATE][index % 4])
    canvas.frame(x0, 0, x0 + 16, 10, RIDGE, INK)
    colour = HAZE if index % 4 == 3 else TEXT
    for i in range(3):
        y = 3 + i if index < 4 else 6 - i
        canvas.rect(x0 + 8 - i - 1, y, x0 + 8 + i, y + 1, colour)


def skin_menu():
    """Menu check marks, 16 x 16 each on white (transparent): check, radio, arrow."""
    canvas = Canvas(48, 16, (255, 255, 255))
    for x, y in [(3, 8), (4, 9), (5, 10), (6, 9), (7, 8), (8, 7), (9, 6), (10, 5), (11, 4)]:
        canvas.rect(x, y, x + 1, y + 2, ORANGE)
    for y in range(16):
        for x in range(16):
            if (x - 7.5) ** 2 + (y - 7.5) ** 2 <= 9:
                canvas.put(16 + x, y, ORANGE)
    for i in range(4):
        canvas.rect(32 + 6 + i, 4 + i, 32 + 7 + i, 12 - i, (60, 60, 60))
    return canvas


DESCRIPTION = """; VornisTools skin: dark slate with an orange accent.
[TitlebarSkin]
SkinName=Vornis Dark

[Personality]
Top=top.bmp
TopTopHeight=12
TopBotHeight=12
TopFrame=2
TopStretch=0
TopTrans=1
Left=left.bmp
LeftTopHeight=30
LeftBotHeight=6
LeftFrame=2
LeftStretch=0
LeftTrans=1
Right=right.bmp
RightTopHeight=30
RightBotHeight=6
RightFrame=2
RightStretch=0
RightTrans=1
Bottom=bottom.bmp
BottomTopHeight=4
BottomBotHeight=4
BottomFrame=2
BottomStretch=0
BottomTrans=0
TextShift=28
TextShiftVert=0
TextRightClip=60
TextAlignment=0
menuBar=menubar.bmp
TileMenu=1

[Fonts]
FontHeight=14

[Colours]
WindowText=228,224,216
ButtonFace=33,37,45
Scrollbar=22,25,31
HilightText=255,255,255
Hilight=230,120,0
Menubar=33,37,45
Menu=33,37,45
MenuText=228,224,216
MenuBarText=228,224,216
ButtonText=236,232,224
ButtonHilight=62,69,82
Buttonlight=43,48,58
ButtonShadow=22,25,31
ButtonDkShadow=14,16,20
TitleTextActive=246,242,234
TitleTextNoActive=140,146,156

; Caption buttons: 4 frames each (normal, pressed, hot, disabled).
[ButtonClose]
Action=0
Align=1
Xcoord=28
Ycoord=5
Visibility=0
Visibility1=0
frame=4
ButtonImage=close.bmp

; Shown only on windows with a minimise or maximise box and a system menu.
[ButtonMinimize]
Action=2
Align=1
Xcoord=52
Ycoord=5
Visibility=6
Visibility1=0
frame=4
ButtonImage=minimize.bmp

[ButtonSysMenu]
Action=3
Align=0
Xcoord=6
Ycoord=7
Visibility=0
Visibility1=0
frame=4
ButtonImage=sysmenu.bmp

; Push buttons: normal, hot, pressed, disabled, focused. Check and radio images:
; unchecked normal, hot, pressed, disabled, then checked in the same order.
[Buttons]
Bitmap=button.bmp
LeftWidth=5
RightWidth=5
TopHeight=5
BottomHeight=5
Trans=1
Tile=0
CheckButton=check.bmp
RadioButton=radio.bmp
CheckButtonFrame=8
RadioButtonFrame=8
NormalColour2=236,232,224
MouseOverColour2=255,255,255
PressedColour2=255,255,255

[GroupBox]
Image=groupbox.bmp
LeftWidth=6
RightWidth=6
TopHeight=6
BottomHeight=6
Trans=1

[GroupBoxEdge]
Image=groupedge.bmp
LeftWidth=3
RightWidth=3
TopHeight=3
BottomHeight=3
Trans=1

[Progress]
Bitmap=progress.bmp
LeftWidth=3
RightWidth=3
TopHeight=3
BottomHeight=3

[Progress.Chunk]
Bitmap=chunk.bmp
LeftWidth=1
RightWidth=1
TopHeight=1
BottomHeight=1

[SunkEdge]
Image=sunkedge.bmp
LeftWidth=2
RightWidth=2
TopHeight=2
BottomHeight=2

; Tabs: normal, hot, selected, disabled, focused.
[Tabs]
Image=tabs.bmp
Border=tabpane.bmp
LeftWidth=3
RightWidth=3
TopHeight=3
BottomHeight=1

[Tab.Pane]
Image=tabpane.bmp
LeftWidth=2
RightWidth=2
TopHeight=2
BottomHeight=2

; Header: normal, hot, pressed.
[Headerbar]
Image=header.bmp
Frame=3
LeftWidth=2
RightWidth=2
TopHeight=2
BottomHeight=2

[Scrollbar]
Image=scrollbar.bmp

; Tracks: normal, hot, pressed, disabled.
[HorzScroll]
Image=hscroll.bmp
LeftWidth=2
RightWidth=2
Tile=1

[VertScroll]
Image=vscroll.bmp
TopHeight=2
BottomHeight=2
Tile=1

; Thumbs: normal, hot, pressed.
[HorzScrollThumb]
Image=hthumb.bmp
FrameCount=3
LeftWidth=4
RightWidth=4
Trans=1

[VertScrollThumb]
Image=vthumb.bmp
FrameCount=3
TopHeight=4
BottomHeight=4
Trans=1

[MenuItem]
Image=menuitem.bmp
LeftWidth=3
RightWidth=3
TopHeight=3
BottomHeight=3
Trans=1
NormalColour2=228,224,216
MouseOverColour2=255,255,255

[MenuBackground]
Image=menuback.bmp
LeftWidth=2
RightWidth=2
TopHeight=2
BottomHeight=2

; Normal, hot, pressed, disabled.
[ComboButton]
Image=combo.bmp
Frame=4

; Up normal, hot, pressed, disabled, then down.
[UpDown.Vert]
Image=updown.bmp
"""


def build(outdir):
    images = {
        "top.bmp": strip(2, draw_top, 120, CAPTION),
        "left.bmp": strip(2, lambda c, x, i: draw_side(c, x, i, True), SIDE, 64),
        "right.bmp": strip(2, lambda c, x, i: draw_side(c, x, i, False), SIDE, 64),
        "bottom.bmp": strip(2, draw_bottom, 16, BOTTOM),
        "close.bmp": caption_button(glyph_close, RED),
        "minimize.bmp": caption_button(glyph_minimise, mix(PANEL, ORANGE, 0.45)),
        "maximize.bmp": caption_button(glyph_maximise, mix(PANEL, ORANGE, 0.45)),
        "restore.bmp": caption_button(glyph_restore, mix(PANEL, ORANGE, 0.45)),
        "sysmenu.bmp": caption_button(glyph_none, mix(PANEL, ORANGE, 0.45)),
        "button.bmp": strip(5, draw_push, 32, 26),
        "check.bmp": strip(8, draw_check, 13, 13),
        "radio.bmp": strip(8, draw_radio, 13, 13),
        "groupbox.bmp": bevel_box(24, 24, SLATE, HAZE, INK, radius=3),
        "groupedge.bmp": bevel_box(16, 16, SLATE, INK, RIDGE, radius=2),
        "progress.bmp": bevel_box(24, 16, DEEP, INK, RIDGE),
        "chunk.bmp": strip(1, draw_progress_chunk, 12, 14),
        "sunkedge.bmp": bevel_box(16, 16, DEEP, INK, RIDGE),
        "tabs.bmp": strip(5, draw_tab, 40, 24),
        "tabpane.bmp": bevel_box(16, 16, mix(PANEL, SLATE, 0.3), RIDGE, INK),
        "header.bmp": strip(3, draw_header, 40, 22),
        "scrollbar.bmp": strip(23, draw_scrollbar, 17, 17),
        "hscroll.bmp": strip(4, draw_scroll_track(True), 24, 17),
        "vscroll.bmp": strip(4, draw_scroll_track(False), 17, 24),
        "hthumb.bmp": strip(3, draw_thumb(True), 24, 17),
        "vthumb.bmp": strip(3, draw_thumb(False), 17, 24),
        "menuitem.bmp": strip(1, draw_menu_item, 24, 20),
        "menuback.bmp": bevel_box(16, 16, SLATE, RIDGE, INK),
        "menubar.bmp": strip(1, draw_menu_bar, 32, 20),
        "combo.bmp": strip(4, draw_combo_button, 17, 20),
        "updown.bmp": strip(8, draw_updown, 16, 10),
    }
    os.makedirs(outdir, exist_ok=True)
    with open(os.path.join(outdir, "vornis.ini"), "wb") as f:
        f.write(DESCRIPTION.replace("\n", "\r\n").encode("ascii"))
    for name, canvas in images.items():
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(canvas.bmp())


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_skin.py OUTDIR MENUDIR")
    build(sys.argv[1])
    os.makedirs(sys.argv[2], exist_ok=True)
    with open(os.path.join(sys.argv[2], "skinmenu.bmp"), "wb") as f:
        f.write(skin_menu().bmp())


if __name__ == "__main__":
    main()
