#!/usr/bin/env python3
"""Builds the demo publication from demo/addons.json and the add-on sources.

    build_site.py --source DEMO_DIR --out OUT_DIR [--exe VornisTools.exe] [--key PRIVATE.pem]

Writes, under OUT_DIR:
  source/      the publisher's input: addons.tsv and one folder per add-on (the
               sources plus two generated pictures each)
  site/        the static site the manager talks to: what tools/publish makes of
               source/ (Data.xml, UPdate.ini, zip/<folder>.zip and, when --exe is
               given, VornisTools.exe), plus vornistools.php,
               ad/vornisshow/id/25/index.html and index.html
  expected/    exactly what installing every add-on puts under data/Mods/
               (Addons/<folder>/...), for comparing installed files byte for byte
  addons.json  the catalogue plus every folder and file of every archive
               (path, size, sha256), paths relative to data/Mods with "/"

Everything is deterministic: the same sources give the same bytes.
Only the Python standard library is used.
"""

import argparse
import hashlib
import html
import json
import os
import shutil
import struct
import subprocess
import sys
import zlib

PUBLISH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "publish")

def bmp_icon(color, size=16):
    """A small 24-bit BMP: a coloured square with a light frame and a diagonal."""
    r, g, b = color
    row_bytes = (size * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(size):
        row = bytearray()
        for x in range(size):
            edge = x in (0, size - 1) or y in (0, size - 1)
            diagonal = x == y or x == size - 1 - y
            if edge:
                row += bytes((230, 230, 230))
            elif diagonal:
                row += bytes((255, 255, 255))
            else:
                row += bytes((b, g, r))
        row += b"\0" * (row_bytes - len(row))
        pixels += row
    header_size = 14 + 40
    file_header = struct.pack("<2sIHHI", b"BM", header_size + len(pixels), 0, 0, header_size)
    info_header = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 24, 0, len(pixels), 2835, 2835,
                              0, 0)
    return file_header + info_header + bytes(pixels)


def png_banner(color, width=48, height=12):
    """A small RGB PNG: a horizontal gradient of the add-on's colour."""
    r, g, b = color
    raw = bytearray()
    for _ in range(height):
        raw.append(0)
        for x in range(width):
            k = 0.4 + 0.6 * x / (width - 1)
            raw += bytes((int(r * k), int(g * k), int(b * k)))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def make_source(source_dir, addons, out):
    """The publisher's input: addons.tsv and each add-on's files with its pictures."""
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    lines = ["folder\tid\tname\tdescription\tauthor"]
    for a in addons:
        root = os.path.join(source_dir, "addons", a["folder"])
        if not os.path.isdir(root):
            sys.exit(f"missing add-on sources: {root}")
        shutil.copytree(root, os.path.join(out, a["folder"]))
        # Pictures are made here rather than kept as binary sources.
        textures = os.path.join(out, a["folder"], "Textures")
        os.makedirs(textures, exist_ok=True)
        with open(os.path.join(textures, "icon.bmp"), "wb") as f:
            f.write(bmp_icon(a["color"]))
        with open(os.path.join(textures, "banner.png"), "wb") as f:
            f.write(png_banner(a["color"]))
        lines.append("\t".join((a["folder"], a["id"], a["name"], a["describe"], a["author"])))
    write_text(os.path.join(out, "addons.tsv"), "\n".join(lines) + "\n")


def addon_tree(source, folder):
    """All folders and files of one add-on as (path under data/Mods with "/", bytes or
    None), in name order: what its archive holds."""
    root = os.path.join(source, folder)
    entries = {f"Addons/{folder}/": None}
    for dirpath, _, filenames in os.walk(root):
        rel = os.path.relpath(dirpath, root).replace(os.sep, "/")
        prefix = f"Addons/{folder}/" if rel == "." else f"Addons/{folder}/{rel}/"
        entries[prefix] = None
        for name in filenames:
            with open(os.path.join(dirpath, name), "rb") as f:
                entries[prefix + name] = f.read()
    return sorted(entries.items())


def write_text(path, text, encoding="utf-8", newline="\n"):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding=encoding, newline=newline) as f:
        f.write(text)


PAGE = """<!DOCTYPE html>
<html lang="zh-Hant">
<head>
<meta charset="utf-8">
<title>{title}</title>
<style>
body {{ font-family: "Microsoft JhengHei", "WenQuanYi Micro Hei", sans-serif; margin: 0;
       background: #1d2330; color: #e8e4d8; }}
h1 {{ font-size: 16px; margin: 0; padding: 6px 10px; background: #3a4660; }}
table {{ border-collapse: collapse; width: 100%; font-size: 12px; }}
td, th {{ border-bottom: 1px solid #3a4660; padding: 3px 8px; text-align: left; }}
a {{ color: #f0c060; }}
</style>
</head>
<body>
{body}
</body>
</html>
"""


def catalogue_page(addons, version):
    rows = "\n".join(
        f"<tr><td><a href=\"zip/{html.escape(a['folder'])}.zip\">{html.escape(a['name'])}</a></td>"
        f"<td>{html.escape(a['describe'])}</td><td>{html.escape(a['author'])}</td></tr>"
        for a in addons)
    body = (f"<h1>維諾斯獵手 UI 列表 (版本 {version})</h1>\n<table>\n"
            "<tr><th>UI名稱</th><th>描述</th><th>作者</th></tr>\n" + rows + "\n</table>")
    return PAGE.format(title="維諾斯獵手 UI 列表", body=body)


def ad_page():
    body = ("<div style=\"font-size:12px;padding:4px;text-align:center\">"
            "<a href=\"/\" target=\"_blank\">維諾斯</a></div>")
    return PAGE.format(title="廣告", body=body)


def home_page(addons, version):
    items = "\n".join(f"<li>{html.escape(a['name'])}: {html.escape(a['describe'])}</li>"
                      for a in addons)
    body = (f"<h1>維諾斯獵手 示範網站</h1>\n<p>目前發佈的版本:{version}</p>\n"
            f"<p><a href=\"vornistools.php\">UI 列表</a> · <a href=\"Data.xml\">Data.xml</a></p>\n"
            f"<ul>\n{items}\n</ul>")
    return PAGE.format(title="維諾斯獵手", body=body)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True, help="the demo folder of the repository")
    parser.add_argument("--out", required=True, help="output folder")
    parser.add_argument("--exe", help="VornisTools.exe to publish as the newest executable")
    parser.add_argument("--key", help="private key (PEM) to sign the publication with")
    args = parser.parse_args()

    with open(os.path.join(args.source, "addons.json"), encoding="utf-8") as f:
        meta = json.load(f)
    version = int(meta["version"])
    addons = meta["addons"]

    site = os.path.join(args.out, "site")
    expected = os.path.join(args.out, "expected")
    source = os.path.join(args.out, "source")
    make_source(args.source, addons, source)
    command = [sys.executable, PUBLISH, source, site, "--version", str(version)]
    if args.exe:
        command += ["--exe", args.exe]
    if args.key:
        command += ["--key", args.key]
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)

    shutil.rmtree(expected, ignore_errors=True)
    os.makedirs(expected)
    manifest = {"version": version, "addons": []}
    for a in addons:
        tree = addon_tree(source, a["folder"])
        entry = {key: a[key] for key in ("folder", "id", "name", "describe", "author")}
        entry["dirs"] = [name for name, data in tree if data is None]
        entry["files"] = []
        for name, data in tree:
            target = os.path.join(expected, *name.rstrip("/").split("/"))
            if data is None:
                os.makedirs(target, exist_ok=True)
                continue
            with open(target, "wb") as out:
                out.write(data)
            entry["files"].append({"path": name, "size": len(data),
                                   "sha256": hashlib.sha256(data).hexdigest()})
        manifest["addons"].append(entry)

    write_text(os.path.join(site, "vornistools.php"), catalogue_page(addons, version))
    write_text(os.path.join(site, "ad", "vornisshow", "id", "25", "index.html"), ad_page())
    write_text(os.path.join(site, "index.html"), home_page(addons, version))
    write_text(os.path.join(args.out, "addons.json"),
               json.dumps(manifest, ensure_ascii=False, indent=2) + "\n")


if __name__ == "__main__":
    main()
