#!/usr/bin/env python3
"""Regenerates the small seed inputs of the ZIP fuzz targets from the test archives."""
import os
import shutil
import struct
import sys
import zipfile

here = os.path.dirname(os.path.abspath(__file__))
data = os.path.join(here, '..', '..', 'tests', 'data', 'zip')
seeds = os.path.join(here, 'seeds')


def raw_entry(archive, name):
    """Compressed bytes, declared size and flags of one entry."""
    path = os.path.join(data, archive)
    with zipfile.ZipFile(path) as z:
        info = z.getinfo(name)
    with open(path, 'rb') as f:
        f.seek(info.header_offset)
        header = f.read(30)
        name_len, extra_len = struct.unpack('<HH', header[26:30])
        f.seek(info.header_offset + 30 + name_len + extra_len)
        return f.read(info.compress_size), info.file_size, info.flag_bits, info.compress_type


def decoder_seed(target, archive, name, parameter=None):
    payload, size, flags, method = raw_entry(archive, name)
    if parameter is None:
        parameter = (flags & 0x06) if method == 6 else max(method - 2, 0)
    out = struct.pack('<IB', size, parameter) + payload
    folder = os.path.join(seeds, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, archive + '.' + name.replace('/', '_')), 'wb') as f:
        f.write(out)


shutil.rmtree(seeds, ignore_errors=True)
decoder_seed('stored', 'lz_testcomment.zip', 'file1')
decoder_seed('shrink', 'cc_SHRUNK.ZIP', 'TEST1.XML')
decoder_seed('shrink', 'gen_shrink.zip', 'ONE.TXT')
decoder_seed('reduce', 'gen_reduce2.zip', 'TINY.TXT')
decoder_seed('reduce', 'gen_reduce4.zip', 'RUNS.BIN')
decoder_seed('implode', 'la_test_read_format_zip_implode.zip', 'I.BIN')
decoder_seed('implode', 'gen_implode_8k_3t.zip', 'TWO.TXT')
decoder_seed('implode', 'gen_implode_4k_2t.zip', 'TWO.TXT')
decoder_seed('deflate', 'cc_bla.zip', 'test2.xml')
folder = os.path.join(seeds, 'directory')
os.makedirs(folder, exist_ok=True)
for archive in ['cc_bla.zip', 'lz_testcomment.zip', 'la_zip64a.zip', 'gen_empty.zip',
                'lz_testfile-truncated.zip', 'la_with_invalid_traditional_eocd.zip',
                'lz_testdir.zip', 'sc_Zip.EntryComment.zip']:
    shutil.copy(os.path.join(data, archive), os.path.join(folder, archive))
sys.exit(0)
