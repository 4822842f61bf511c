#!/usr/bin/env python3
"""Tests of tools/publish, run as the command it is."""

import hashlib
import os
import re
import resource
import subprocess
import sys
import tempfile
import unittest
import zipfile
import xml.etree.ElementTree as ET
from pathlib import Path

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "publish")


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("utf-8"))


def fake_exe(path):
    """The least the tool takes for an executable: an MZ header pointing at "PE\\0\\0"."""
    write(path, b"MZ" + bytes(58) + (64).to_bytes(4, "little") + b"PE\0\0" + bytes(20))
    return path


def snapshot(folder):
    """Every file of a folder: relative path -> (bytes, modification time)."""
    paths = [os.path.join(d, n) for d, _, names in os.walk(folder) for n in names]
    return {os.path.relpath(p, folder): (Path(p).read_bytes(), os.stat(p).st_mtime_ns)
            for p in paths}


class Publish(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.source = os.path.join(self.dir.name, "source")
        self.out = os.path.join(self.dir.name, "out")
        write(os.path.join(self.source, "addons.tsv"),
              "folder\tid\tname\tdescription\tauthor\n"
              "MapPlus\t1\t地圖增強\t小地圖 & 座標\t小雨\n"
              "Bag\t2\t背包\t整理\t阿哲\n")
        write(os.path.join(self.source, "MapPlus", "MapPlus.lua"), "-- map\n")
        write(os.path.join(self.source, "MapPlus", "Data", "說明.txt"), "座標\n")
        write(os.path.join(self.source, "Bag", "Bag.lua"), "-- bag\n")
        self.exe = fake_exe(os.path.join(self.dir.name, "VornisTools.exe"))

        self.addCleanup(self.dir.cleanup)

    def run_tool(self, *args, out=None, umask=0o022, file_size_cap=None):
        def limits():
            os.umask(umask)
            if file_size_cap is not None:
                resource.setrlimit(resource.RLIMIT_FSIZE, (file_size_cap, file_size_cap))
        return subprocess.run([sys.executable, TOOL, self.source, out or self.out, *args],
                              capture_output=True, text=True, preexec_fn=limits)

    def test_reproducible_and_unchanged_files_keep_their_times(self):
        self.assertEqual(0, self.run_tool("--version", "3", "--exe", self.exe).returncode)
        first = snapshot(self.out)
        self.assertEqual({"Data.xml", "UPdate.ini", "VornisTools.exe",
                          os.path.join("zip", "MapPlus.zip"),
                          os.path.join("zip", "Bag.zip")}, set(first))
        items = ET.fromstring(first["Data.xml"][0]).findall("Item")
        self.assertEqual(["MapPlus", "Bag"], [i.get("plugfolder") for i in items])
        archive = first[os.path.join("zip", "MapPlus.zip")][0]
        self.assertEqual(str(len(archive)), items[0].get("plugsize"))
        self.assertEqual(hashlib.sha256(archive).hexdigest(), items[0].get("plugsha256"))
        exe = Path(self.exe).read_bytes()
        self.assertRegex(first["UPdate.ini"][0].decode("ascii"),
                         r"^\[updataver\]\r\nver=3\r\npublished=\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ\r\n"
                         f"size={len(exe)}\r\nsha256={hashlib.sha256(exe).hexdigest()}\r\n$")
        with zipfile.ZipFile(os.path.join(self.out, "zip", "MapPlus.zip")) as z:
            self.assertEqual(["Addons/MapPlus/", "Addons/MapPlus/Data/",
                              "Addons/MapPlus/Data/說明.txt", "Addons/MapPlus/MapPlus.lua"],
                             [i.filename.encode("cp437").decode("cp950") for i in z.infolist()])

        # Again from a copy of the same sources: the same bytes, the same times; what
        # systems and tools leave in folders is left out, and said so.
        os.utime(os.path.join(self.source, "Bag", "Bag.lua"), (1, 1))
        for name in (".git/config", "Thumbs.db", "Data/.DS_Store"):
            write(os.path.join(self.source, "MapPlus", name), "x")
        result = self.run_tool()
        self.assertEqual(0, result.returncode)
        self.assertIn("MapPlus/.git, MapPlus/Data/.DS_Store, MapPlus/Thumbs.db", result.stdout)
        self.assertIn("no archive changed", result.stdout)
        self.assertEqual(first, snapshot(self.out))

        # One add-on changed: only its archive and the catalogue change.
        write(os.path.join(self.source, "Bag", "Bag.lua"), "-- bag 2\n")
        self.assertEqual(0, self.run_tool("--version", "4", "--exe", self.exe).returncode)
        second = snapshot(self.out)
        changed = {name for name in first if first[name] != second[name]}
        self.assertEqual({"Data.xml", "UPdate.ini", os.path.join("zip", "Bag.zip")}, changed)
        self.assertEqual(0, self.run_tool("--include-hidden").returncode)
        with zipfile.ZipFile(os.path.join(self.out, "zip", "MapPlus.zip")) as z:
            self.assertIn("Addons/MapPlus/.git/config", z.namelist())

    def test_owns_only_its_files_and_makes_them_public(self):
        foreign = {"vornistools.php": "<?php ?>", os.path.join("ad", "index.html"): "ad",
                   ".htaccess": "Options -Indexes", os.path.join("zip", "README"): "mine"}
        for name, text in foreign.items():
            write(os.path.join(self.out, name), text)
        write(os.path.join(self.out, "zip", "Gone.zip"), "old add-on")
        write(os.path.join(self.out, "Data.xml.sig"), "old signature")
        os.chmod(self.out, 0o700)
        kept = {n: v for n, v in snapshot(self.out).items() if n in foreign}
        result = self.run_tool("--exe", self.exe, umask=0o077)
        self.assertEqual(0, result.returncode, result.stderr)
        self.assertIn("Bag, MapPlus", result.stdout)
        self.assertIn("NOT signed", result.stdout)
        after = snapshot(self.out)
        self.assertEqual(kept, {n: v for n, v in after.items() if n in foreign})
        self.assertNotIn(os.path.join("zip", "Gone.zip"), after)
        self.assertNotIn("Data.xml.sig", after)
        mode = lambda name: os.stat(os.path.join(self.out, name)).st_mode & 0o777
        owned = {"Data.xml", "UPdate.ini", "VornisTools.exe", os.path.join("zip", "Bag.zip"),
                 os.path.join("zip", "MapPlus.zip")}
        self.assertEqual({n: 0o644 for n in owned} | {".": 0o755, "zip": 0o755},
                         {n: mode(n) for n in owned | {".", "zip"}})

    def test_refused_before_anything_is_written(self):
        everything = lambda: snapshot(self.dir.name)
        before = everything()
        cases = [((self.source,), "is SOURCE itself"),
                 ((os.path.join(self.source, "site"), "--exe", self.exe), "inside SOURCE"),
                 ((self.dir.name, "--exe", self.exe), "holds SOURCE"),
                 ((self.out,), "--exe on the first publish"),
                 ((os.path.join(self.exe, "site"), "--exe", self.exe), "is not a folder"),
                 ((self.out, "--exe", os.path.join(self.source, "addons.tsv")),
                  "not a Windows executable")]
        for (out, *args), message in cases:
            result = self.run_tool(*args, out=out)
            self.assertEqual((1, ""), (result.returncode, result.stdout), message)
            self.assertIn(message, result.stderr)
            self.assertEqual(before, everything())
        # The version stays unless a new executable comes with a new number.
        self.assertEqual(0, self.run_tool("--exe", self.exe, "--version", "5").returncode)
        self.assertIn("--exe", self.run_tool("--version", "6").stderr)
        self.assertIn("version 5", self.run_tool().stdout)
        self.assertTrue(Path(self.out, "UPdate.ini").read_bytes().startswith(
            b"[updataver]\r\nver=5\r\npublished="))

    def test_bad_input_is_refused_and_writes_nothing(self):
        self.assertEqual(0, self.run_tool("--exe", self.exe).returncode)
        before = snapshot(self.out)
        self.assertIn("k.pem", self.run_tool("--key", "k.pem").stderr)
        head = "folder\tid\tname\tdescription\tauthor\n"
        lines = {
            "folder\tid\tname\n": "line 1: the header",
            "Bag\t2\t背包\t整理\n": "line 2: 4 columns",
            "Bag\t2\t背包\t整\t理\t阿哲\n": "line 2: a text holds a tab",
            "Bag\t2\t背\u2028包\t整理\t阿哲\n": "line 2: the name holds a line separator (U+2028)",
            "Bag\t2\tn\td\ta\r\nMapPlus\t3\tn\td\rx\ta\r\n": "line 3: the description holds a line",
            "..\\x\t2\tn\td\ta\n": "line 2: the folder name '..\\\\x' holds a character",
            "Bag\t2\tn\td\ta\nbag\t3\tn\td\ta\n": "line 3: folder 'bag' is already on line 2",
            "Bag\t \tn\td\ta\n": "line 2: the id is empty",
            "Bag\t2\tn\td\ta\nMapPlus\t2\tn\td\ta\n": "line 3: id '2' is already on line 2",
            "Lpt\u00b9 .x\t2\tn\td\ta\n": "device name",
            "x" * 252 + "\t2\tn\td\ta\n": "longer than the 251",
            "Gone\t2\tn\td\ta\n": "line 2: no folder",
            b"Bag\t2\tn\td\ta\nMapPlus\t3\t\xff\td\ta\n": "line 3: not UTF-8"}
        tsv = os.path.join(self.source, "addons.tsv")
        good = Path(tsv).read_bytes()
        map_plus = os.fsencode(os.path.join(self.source, "MapPlus"))
        touch = lambda p: write(p, "")
        files = {b"gone": (lambda p: os.symlink("nowhere", p), "a link to nothing"),
                 b"pipe": (os.mkfifo, "a named pipe"),
                 b"\xff.lua": (touch, "\\xff.lua: the name is not UTF-8"),
                 b"con .lua": (touch, "a Windows device name"),
                 b"Data\\x": (touch, "a character no Windows file name"),
                 b"Data/Old.": (touch, "Old.: the name ends with a dot"),
                 b"mapplus.LUA": (touch, "only in case"),
                 b"loop": (lambda p: os.symlink(".", p), "a link to a folder that holds it")}

        def refused(message):
            result = self.run_tool()
            self.assertEqual(1, result.returncode, message)
            self.assertIn(message, result.stderr)
            self.assertNotIn("Traceback", result.stderr)
            self.assertEqual(before, snapshot(self.out))

        for text, message in lines.items():
            data = text.encode() if isinstance(text, str) else text
            write(tsv, data if data.startswith(b"folder") else head.encode() + data)
            refused(message)
        write(tsv, good)
        for name, (make, message) in files.items():
            path = os.path.join(map_plus, name)
            make(path)
            refused(message)
            os.remove(path)
        # A write that fails half-way (the disk is full) leaves nothing of it behind.
        write(os.path.join(self.source, "Bag", "Bag.lua"), "-- bag 2\n" * 100)
        result = self.run_tool(file_size_cap=200)
        self.assertIn("zip/Bag.zip: cannot write (File too large)", result.stderr)
        self.assertEqual(before, snapshot(self.out))
        self.assertEqual([], [n for n in os.listdir(self.dir.name) if n.startswith(".")])

    def test_signs_catalogue_version_and_executable(self):
        keys = os.path.join(os.path.dirname(TOOL), "publisher_key.py")
        subprocess.run([sys.executable, keys, "generate", self.dir.name], check=True)
        self.assertEqual(0, self.run_tool("--exe", self.exe, "--key",
                                          os.path.join(self.dir.name, "private.pem")).returncode)
        signatures = {n: len(d) for n, (d, _) in snapshot(self.out).items() if n.endswith(".sig")}
        self.assertEqual({"Data.xml.sig": 64, "UPdate.ini.sig": 64, "VornisTools.exe.sig": 64},
                         signatures)

    def test_signs_only_the_executable_it_was_given(self):
        keys = os.path.join(os.path.dirname(TOOL), "publisher_key.py")
        old, new = os.path.join(self.dir.name, "old"), os.path.join(self.dir.name, "new")
        for folder in (old, new):
            subprocess.run([sys.executable, keys, "generate", folder], check=True)
        key = os.path.join(old, "private.pem")
        self.assertEqual(0, self.run_tool("--exe", self.exe, "--key", key).returncode)
        self.assertEqual(0, self.run_tool("--key", key).returncode)  # its own, verified
        # A new key signs the kept executable only when told to trust the old one.
        result = self.run_tool("--key", os.path.join(new, "private.pem"))
        self.assertIn("does not verify", result.stderr)
        self.assertEqual(0, self.run_tool("--key", os.path.join(new, "private.pem"), "--trust",
                                          os.path.join(old, "public.pem")).returncode)
        # One planted in OUT, or left unsigned by an unsigned publish, is refused.
        before = snapshot(self.out)
        write(os.path.join(self.out, "VornisTools.exe"), Path(self.exe).read_bytes() + b"planted")
        result = self.run_tool("--key", os.path.join(new, "private.pem"))
        self.assertEqual(1, result.returncode)
        self.assertIn("VornisTools.exe: does not verify against its signature", result.stderr)
        self.assertEqual(before["VornisTools.exe.sig"], snapshot(self.out)["VornisTools.exe.sig"])
        self.assertEqual(0, self.run_tool().returncode)
        self.assertIn("has no signature", self.run_tool("--key", key).stderr)

    def test_publication_times_never_go_back(self):
        def times():
            return (re.search(r'<plug published="([^"]+)"', Path(self.out, "Data.xml").read_text())[1],
                    re.search(r"published=(\S+)", Path(self.out, "UPdate.ini").read_text())[1])
        self.assertEqual(0, self.run_tool("--exe", self.exe).returncode)
        first = times()
        self.assertEqual(0, self.run_tool().returncode)
        self.assertEqual(first, times())  # nothing changed: nothing newer
        # Times ahead of this clock (a clock that went back since) are passed by a second.
        for name, old in (("Data.xml", first[0]), ("UPdate.ini", first[1])):
            text = Path(self.out, name).read_bytes()
            write(os.path.join(self.out, name), text.replace(old.encode(), b"2999-12-31T23:59:59Z"))
        write(os.path.join(self.source, "Bag", "Bag.lua"), "-- bag 2\n")
        self.assertEqual(0, self.run_tool("--version", "2", "--exe", fake_exe(self.exe)).returncode)
        self.assertEqual(("3000-01-01T00:00:00Z",) * 2, times())


if __name__ == "__main__":
    unittest.main()
