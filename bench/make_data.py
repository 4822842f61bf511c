#!/usr/bin/env python3
"""make_data.py FOLDER: the benchmark's input trees, deterministic.

FOLDER/small: about 5000 files of 1-40 KiB (about 100 MB) in 50 folders.
FOLDER/big:   one 200 MB compressible text file.
"""
import os
import random
import sys

root = sys.argv[1]
rng = random.Random(1136)
words = [''.join(rng.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(2, 10)))
         for _ in range(5000)]


def text(size):
    parts = []
    length = 0
    while length < size:
        line = ' '.join(rng.choice(words) for _ in range(rng.randint(5, 14))) + '\n'
        parts.append(line)
        length += len(line)
    return ''.join(parts)[:size].encode()


# A pool of text to slice from keeps generation fast.
pool = text(8 * 1024 * 1024)
small = os.path.join(root, 'small')
for folder in range(50):
    path = os.path.join(small, 'Addon%02d' % folder)
    os.makedirs(path, exist_ok=True)
    for index in range(100):
        size = rng.randint(1024, 40 * 1024)
        start = rng.randint(0, len(pool) - size)
        data = pool[start:start + size]
        if index % 10 == 0:  # some binary-ish files
            data = bytes(rng.getrandbits(8) for _ in range(size // 8)) + data[size // 8:]
        with open(os.path.join(path, 'file%03d.lua' % index), 'wb') as f:
            f.write(data)
big = os.path.join(root, 'big')
os.makedirs(big, exist_ok=True)
with open(os.path.join(big, 'big.txt'), 'wb') as f:
    written = 0
    target = 200 * 1024 * 1024
    while written < target:
        start = rng.randint(0, len(pool) - 4 * 1024 * 1024)
        chunk = pool[start:start + min(4 * 1024 * 1024, target - written)]
        f.write(chunk)
        written += len(chunk)
