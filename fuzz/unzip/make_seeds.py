#!/usr/bin/env python3
"""Regenerates the small seed inputs of the ZIP fuzz targets from the test archives."""
import os
import shutil
import struct
import sys
import zipfile
import zlib

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


def local_header(name, method, crc, csize, usize, flags=0):
    return struct.pack('<IHHHIIIIHH', 0x04034B50, 20, flags, method, 0, crc, csize, usize,
                       len(name), 0) + name


def central_record(name, method, crc, csize, usize, offset, disk=0):
    return struct.pack('<IHHHHIIIIHHHHHII', 0x02014B50, 0x031E, 20, 0, method, 0, crc, csize,
                       usize, len(name), 0, 0, disk, 0, 0, offset) + name


def archive(locals_and_data, centrals, declared=None, bogus=b''):
    body = b''.join(locals_and_data)
    directory = b''.join(centrals) + bogus
    count = declared if declared is not None else len(centrals)
    return body + directory + struct.pack('<IHHHHIIH', 0x06054B50, 0, 0, count, count,
                                          len(directory) - len(bogus), len(body), 0)


def quoted_overlap(count, deflated, bogus):
    """Each entry's data quotes the next local header (a stored deflate block when
    deflated) and runs on into one shared kernel; the local sizes cover only the quote (the
    last one its kernel), so a rebuild from local headers walks them all."""
    kernel_plain = b'\0' * 200000
    if deflated:
        packer = zlib.compressobj(9, zlib.DEFLATED, -15)
        kernel = packer.compress(kernel_plain) + packer.flush()
    else:
        kernel, kernel_plain = b'k' * 3000, b'k' * 3000
    names = [b'%03d' % i for i in range(count)]
    method = 8 if deflated else 0
    # Built from the last entry backwards: data[i] and plain[i] run to the kernel's end.
    data, plain, headers = [kernel], [kernel_plain], []
    for i in reversed(range(count)):
        crc = zlib.crc32(plain[0])
        quote_size = (5 if deflated else 0) if i + 1 < count else len(kernel)
        header = local_header(names[i], method, crc, quote_size, len(plain[0]))
        headers.insert(0, (header, crc, len(data[0]), len(plain[0])))
        if i:
            quote = struct.pack('<BHH', 0, len(header), len(header) ^ 0xFFFF) if deflated else b''
            data.insert(0, quote + header + data[0])
            plain.insert(0, header + plain[0])
    parts, centrals, offset = [], [], 0
    for i, (header, crc, csize, usize) in enumerate(headers):
        centrals.append(central_record(names[i], method, crc, csize, usize, offset))
        if i + 1 < count:
            quote = data[i][:len(data[i]) - len(data[i + 1]) - len(headers[i + 1][0])]
            parts += [header, quote]
            offset += len(header) + len(quote)
        else:
            parts += [header, kernel]
    return archive(parts, centrals, count + 1 if bogus else None, b'\xEE' * 46 if bogus else b'')


def shared_header(disk):
    """Two central records for one local header, told apart only by a disk number."""
    body = b'shared' * 100
    header = local_header(b'a', 0, zlib.crc32(body), len(body), len(body))
    centrals = [central_record(b'a', 0, zlib.crc32(body), len(body), len(body), 0),
                central_record(b'b', 0, zlib.crc32(body), len(body), len(body), 0, disk)]
    return archive([header, body], centrals)


folder = os.path.join(seeds, 'extract')
os.makedirs(folder, exist_ok=True)
for archive_name in ['cc_bla.zip', 'lz_testdir.zip', 'gen_py_datadesc.zip', 'gen_iz_stored.zip',
                     'gen_zipcrypto_dd.zip', 'zr_files_and_dirs.zip', 'gen_dd_nosig.zip']:
    shutil.copy(os.path.join(data, archive_name), os.path.join(folder, archive_name))
seeds_made = {
    'quoted-deflate.zip': quoted_overlap(8, True, False),
    'quoted-deflate-bogus-record.zip': quoted_overlap(8, True, True),
    'quoted-stored-bogus-record.zip': quoted_overlap(3, False, True),
    'shared-header.zip': shared_header(0),
    'shared-header-disk.zip': shared_header(1),
}
for name, content in seeds_made.items():
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(content)
sys.exit(0)
