#!/usr/bin/env python3
"""Writes unpacked skin packages that push the reader's memory and time: each packs
(skinload --pack) to at most 1 MiB. Standard library only.

    skin_hostile.py OUTDIR          writes OUTDIR/<name>.unpacked for every package below
    skin_hostile.py --fuzz OUTDIR   the same kinds, small enough to pack to under 64 KiB
                                    (fuzz/skin/make_hostile_seeds.sh makes them seeds)
"""
import os
import random
import struct
import sys

FORMAT = 70000
SKIPPED = 69  # the skipped block of that format


def package(files):
    """The unpacked package bytes of (name, bytes) pairs; names may be empty."""
    names = b"".join(name + b"\r\n" for name, _ in files)
    out = struct.pack("<II8x", FORMAT, len(names)) + bytes(SKIPPED) + names
    out += b"".join(struct.pack("<I", len(data)) for _, data in files)
    return out + b"".join(data for _, data in files)


def bmp(width, height, bits, fill=0x40):
    """An uncompressed bottom-up bitmap of one byte value everywhere (palette grey)."""
    palette = b"".join(bytes((i, i, i, 0)) for i in range(1 << bits)) if bits <= 8 else b""
    stride = (width * bits + 31) // 32 * 4
    offset = 14 + 40 + len(palette)
    size = offset + stride * height
    header = b"BM" + struct.pack("<IHHI", size, 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, stride * height, 2835, 2835,
                       0, 0)
    return header + info + palette + bytes([fill]) * (stride * height)


ELEMENTS = ["Progress", "Progress.Chunk", "GroupBoxEdge", "StatusBarEdges", "Tab.Pane",
            "ToolBars", "SunkEdge", "ExtraImages", "Headerbar", "MenuItem", "MenuBackground",
            "Scrollbar", "HorzScroll", "VertScroll", "HorzScrollThumb", "VertScrollThumb",
            "Track", "TRACKVERT", "GroupBox", "Tabs", "ComboButton", "Buttons"]


def shared_bitmap():
    # One 2 MiB bitmap named by 200 caption buttons, every border and every element.
    ini = ["[TitlebarSkin]", "SkinName=Shared", "[Personality]"]
    ini += [f"{key}=big.bmp" for key in ("Left", "Right", "Top", "Bottom", "TextBack", "menuBar",
                                         "Image")]
    for section in ELEMENTS:
        ini += [f"[{section}]", "Image=big.bmp", "Border=big.bmp", "CheckButton=big.bmp",
                "RadioButton=big.bmp"]
    for i in range(200):
        ini += [f"[Button{i}]", "Action=1", "Visibility=1", "ButtonImage=big.bmp"]
    return package([(b"skin.ini", "\r\n".join(ini).encode()), (b"big.bmp", bmp(1024, 683, 24))])


def empty_names(count):
    # Name lines with nothing on them, each with its (zero) size.
    ini = b"[TitlebarSkin]\r\nSkinName=Names\r\n"
    files = [(b"skin.ini", ini)] + [(b"", b"")] * count
    return package(files)


def key_lines(line, megabytes):
    # One section of the same short key line over and over.
    head = b"[TitlebarSkin]\r\nSkinName=Keys\r\n[Personality]\r\n"
    body = line * ((megabytes << 20) // len(line))
    return package([(b"skin.ini", head + body)])


def distinct_keys(count):
    # Every line a key of its own.
    lines = b"".join(b"k%x=1\n" % i for i in range(count))
    return package([(b"skin.ini", b"[Personality]\n" + lines)])


def button_sections(count):
    # A caption-button section per line group, all naming one small strip.
    text = b"".join(b"[Button%x]\nAction=1\nButtonImage=b.bmp\n" % i for i in range(count))
    return package([(b"skin.ini", text), (b"b.bmp", bmp(96, 16, 24))])


def one_bit_images(count, width, height, keys=0, filler=0):
    # Distinct 1-bit bitmaps: 32 decoded bytes per file byte. Optionally as many
    # distinct keys and an unnamed filler file of that many MiB beside them.
    ini = "".join(f"[{s}]\nImage={i}.bmp\n" for i, s in enumerate(ELEMENTS[:count]))
    ini += "[Keys]\n" + "".join(f"k{i:x}=1\n" for i in range(keys))
    files = [(b"skin.ini", ini.encode())]
    files += [(b"%d.bmp" % i, bmp(width, height, 1, fill=i)) for i in range(count)]
    if filler:
        files.append((b"filler", bytes(filler << 20)))
    return package(files)


def many_files(count):
    ini = b"[TitlebarSkin]\r\nSkinName=Files\r\n"
    return package([(b"skin.ini", ini)] + [(b"f%x" % i, b"") for i in range(count)])


def random_bytes(kilobytes):
    # Bytes that do not pack: the decoder's slowest path, one literal per byte.
    noise = random.Random(1).randbytes(kilobytes << 10)
    return package([(b"skin.ini", b"[TitlebarSkin]\nSkinName=Noise\n"), (b"noise", noise)])


def big_comment(megabytes):
    # The largest unpacked package a 1 MiB stream can declare: one comment.
    body = b";" + b" " * ((megabytes << 20) - 200)
    return package([(b"skin.ini", b"[TitlebarSkin]\nSkinName=Big\n" + body)])


PACKAGES = {
    "shared_bitmap": shared_bitmap,
    "empty_names_16m": lambda: empty_names(2_700_000),
    "empty_names_48m": lambda: empty_names(8_200_000),
    "empty_keys_16m": lambda: key_lines(b"=\n", 15),
    "repeated_key_16m": lambda: key_lines(b"Top=a.bmp\n", 15),
    "distinct_keys": lambda: distinct_keys(250_000),
    "button_sections": lambda: button_sections(60_000),
    "one_bit_images": lambda: one_bit_images(7, 4096, 4096),
    # Just inside every bound: 16 MiB unpacked, the description's and the images' most.
    "worst_accepted": lambda: one_bit_images(3, 2048, 1024, keys=29_000, filler=15),
    "many_files": lambda: many_files(200_000),
    "big_comment_47m": lambda: big_comment(47),
    "random_900k": lambda: random_bytes(900),
}


FUZZ_SEEDS = {
    "shared_bitmap": shared_bitmap,
    "empty_names": lambda: empty_names(480_000),
    "empty_keys": lambda: key_lines(b"=\n", 2),
    "button_sections": lambda: button_sections(25_000),
    "one_bit_image": lambda: one_bit_images(1, 4096, 4096),
}


def main():
    fuzz = sys.argv[1] == "--fuzz"
    out = sys.argv[2 if fuzz else 1]
    os.makedirs(out, exist_ok=True)
    for name, make in (FUZZ_SEEDS if fuzz else PACKAGES).items():
        with open(os.path.join(out, name + ".unpacked"), "wb") as f:
            f.write(make())


if __name__ == "__main__":
    main()
