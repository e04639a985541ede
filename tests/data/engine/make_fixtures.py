#!/usr/bin/env python3
"""Writes the engine's fixture tables byte by byte (run from this folder).

Each file is laid out here by hand from the dBASE file layout, so the
engine's reader is checked against bytes that its own writer did not make.
"""
import struct


def header(version, count, fields, rec_len, mdx=0, ldid=0x57):
    h = bytearray(32)
    h[0] = version
    h[1:4] = bytes([98, 7, 14])  # 1998-07-14
    struct.pack_into('<IHH', h, 4, count, 32 + 32 * len(fields) + 1, rec_len)
    h[28] = mdx
    h[29] = ldid
    for name, ftype, length, dec in fields:
        d = bytearray(32)
        d[0:len(name)] = name.encode()
        d[11] = ord(ftype)
        d[16] = length
        d[17] = dec
        h += d
    h.append(0x0D)
    return h


def record(flag, *values):
    return flag + b''.join(values)


def dbt3(values):
    """dBASE III memo: 512-byte header with the next free block, values ended by 1A 1A."""
    out = bytearray(512)
    blocks = []
    for v in values:
        blocks.append(len(out) // 512)
        chunk = v + b'\x1a\x1a'
        chunk += b'\0' * (-len(chunk) % 512)
        out += chunk
    struct.pack_into('<I', out, 0, len(out) // 512)
    return out, blocks


def dbt4(values, block=64):
    """dBASE IV memo with the given block size: FF FF 08 00, length incl. 8."""
    out = bytearray(block if block >= 512 else 512)
    out = bytearray(512)
    struct.pack_into('<I', out, 4, block)
    out[8:14] = b'CELLAR'
    struct.pack_into('<H', out, 20, block)
    blocks = []
    for v in values:
        blocks.append(len(out) // block)
        chunk = b'\xff\xff\x08\x00' + struct.pack('<I', len(v) + 8) + v
        chunk += b'\0' * (-len(chunk) % block)
        out += chunk
    struct.pack_into('<I', out, 0, len(out) // block)
    return out, blocks


def ptr(n):
    return (b'%10d' % n) if n else b' ' * 10


# plain.dbf: version 03, no memo; C, N, F, D, L; the second record deleted.
fields = [('NAME', 'C', 12, 0), ('QTY', 'N', 4, 0), ('PRICE', 'F', 8, 2), ('DAY', 'D', 8, 0), ('OK', 'L', 1, 0)]
recs = [record(b' ', b'Riesling    ', b'  12', b'   19.90', b'19980714', b'T'),
        record(b'*', b'Gone        ', b'   1', b'    1.00', b'19980101', b'F'),
        record(b' ', b'Rioja       ', b'    ', b'        ', b'        ', b'?')]
with open('plain.dbf', 'wb') as f:
    f.write(header(0x03, 3, fields, 1 + 12 + 4 + 8 + 8 + 1) + b''.join(recs) + b'\x1a')

# dbase3.dbf / dbase3.dbt: version 83, dBASE III memo.
memo, blocks = dbt3([b'Old style memo\r\nsecond line', b'x' * 600])
fields = [('TITLE', 'C', 10, 0), ('NOTES', 'M', 10, 0)]
recs = [record(b' ', b'first     ', ptr(blocks[0])), record(b' ', b'second    ', ptr(blocks[1])),
        record(b' ', b'none      ', ptr(0))]
with open('dbase3.dbf', 'wb') as f:
    f.write(header(0x83, 3, fields, 21, ldid=0) + b''.join(recs) + b'\x1a')
with open('dbase3.dbt', 'wb') as f:
    f.write(memo)

# CELLAR.DBF / CELLAR.DBT: upper-case names, version 8B, 64-byte memo blocks, a binary field.
memo, blocks = dbt4([b'Notes of the cellar', b'BM' + bytes(range(256)) * 3], block=64)
fields = [('WINE', 'C', 8, 0), ('NOTES', 'M', 10, 0), ('PIC', 'B', 10, 0)]
recs = [record(b' ', b'Merlot  ', ptr(blocks[0]), ptr(blocks[1]))]
with open('CELLAR.DBF', 'wb') as f:
    f.write(header(0x8B, 1, fields, 29) + b''.join(recs) + b'\x1a')
with open('CELLAR.DBT', 'wb') as f:
    f.write(memo)

# broken_truncated.dbf: the count says 3 records, the file holds 1.
fields = [('NAME', 'C', 10, 0)]
with open('broken_truncated.dbf', 'wb') as f:
    f.write(header(0x03, 3, fields, 11) + b' abcdefghij')

# broken_memo.dbf / .dbt: pointers past the end, into garbage, and not digits.
memo, blocks = dbt4([b'good value'], block=512)
memo += b'\xff\xff\x08\x00' + struct.pack('<I', 0x7fffffff) + b'\0' * 504  # block 2: length too large
fields = [('NAME', 'C', 6, 0), ('NOTES', 'M', 10, 0), ('QTY', 'N', 5, 0), ('DAY', 'D', 8, 0)]
recs = [record(b' ', b'good  ', ptr(1), b'    1', b'20240101'),
        record(b' ', b'far   ', ptr(9999), b'    2', b'20240101'),
        record(b' ', b'length', ptr(2), b'    3', b'20240101'),
        record(b' ', b'digits', b'12ab      ', b'  x.y', b'2024XX01')]
with open('broken_memo.dbf', 'wb') as f:
    f.write(header(0x8B, 4, fields, 30) + b''.join(recs) + b'\x1a')
with open('broken_memo.dbt', 'wb') as f:
    f.write(memo)
