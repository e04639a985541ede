#!/usr/bin/env python3
"""Writes the hand-made .dbf/.mdx pairs of this folder.

The files follow the published descriptions of the dBASE IV multiple-index
layout, in the variants other programs produce (block sizes other than two
pages, FOR conditions, descending, unique, numeric and date tags, trees of
several levels, a free block, tag names padded with spaces). They are NOT
written by any other program; see README.md. This script shares no code with
the engine: it lays out the bytes itself, so the engine's reader is checked
against an independent writer.

Run it from anywhere: python3 make_fixtures.py (it writes beside itself).
The output is deterministic.
"""

import datetime
import os
import random
import struct
from decimal import Decimal

HERE = os.path.dirname(os.path.abspath(__file__))
PAGE = 512
HEADER_PAGES = 4  # file header and tag table
STAMP = (126, 1, 15)  # fixed dates keep the files reproducible


# ---------------------------------------------------------------- the table

FIELDS = [  # name, type, length, decimals
    ("NAME", "C", 20, 0),
    ("PRICE", "N", 8, 2),
    ("BOUGHT", "D", 8, 0),
    ("COUNTRY", "C", 2, 0),
    ("INSTOCK", "L", 1, 0),
]

WORDS = ["Barolo", "Rioja", "Chianti", "Merlot", "Cava", "Tokaji", "Riesling",
         "Syrah", "Gamay", "Zweigelt", "Malbec", "Fiano", "Pinot", "Sancerre"]
COUNTRIES = ["FR", "IT", "ES", "DE", "AT", "HU", "AR", "PT"]


def make_records(count, seed):
    rng = random.Random(seed)
    recs = []
    for i in range(count):
        name = "%s %d" % (rng.choice(WORDS), rng.randrange(1000))
        if i % 17 == 3:
            name = name.lower()
        price = Decimal(rng.randrange(-500, 12000)) / 100 if i % 23 else Decimal(0)
        if i % 19 == 5:
            bought = None
        else:
            bought = datetime.date(1985, 1, 1) + datetime.timedelta(days=rng.randrange(14000))
        recs.append({
            "NAME": name,
            "PRICE": price,
            "BOUGHT": bought,
            "COUNTRY": rng.choice(COUNTRIES),
            "INSTOCK": rng.random() < 0.6,
        })
    return recs


def field_bytes(name, value):
    for fname, ftype, flen, fdec in FIELDS:
        if fname != name:
            continue
        if ftype == "C":
            return value.encode("cp1252").ljust(flen, b" ")[:flen]
        if ftype == "N":
            return ("%*.*f" % (flen, fdec, value)).encode("ascii")
        if ftype == "D":
            return value.strftime("%Y%m%d").encode("ascii") if value else b" " * 8
        if ftype == "L":
            return b"T" if value else b"F"
    raise KeyError(name)


def write_dbf(path, records, indexed_fields):
    reclen = 1 + sum(f[2] for f in FIELDS)
    hdrlen = 32 + 32 * len(FIELDS) + 1
    out = bytearray(32)
    out[0] = 0x03
    out[1:4] = bytes(STAMP)
    struct.pack_into("<IHH", out, 4, len(records), hdrlen, reclen)
    out[28] = 0x01  # has a production index
    out[29] = 0x57
    for fname, ftype, flen, fdec in FIELDS:
        d = bytearray(32)
        d[0:len(fname)] = fname.encode("ascii")
        d[11] = ord(ftype)
        d[16] = flen
        d[17] = fdec
        d[31] = 1 if fname in indexed_fields else 0
        out += d
    out += b"\x0d"
    for r in records:
        out += b" "
        for fname, _, _, _ in FIELDS:
            out += field_bytes(fname, r[fname])
    out += b"\x1a"
    with open(path, "wb") as f:
        f.write(out)


# ---------------------------------------------------------------- keys

def bcd_key(value):
    """12-byte numeric key: exponent byte, digit count/sign byte, BCD digits."""
    value = Decimal(value)
    out = bytearray(12)
    if value == 0:
        out[0] = 52
        out[1] = 0x01
        return bytes(out)
    neg = value < 0
    sign, digits, exp = abs(value).normalize().as_tuple()
    digits = list(digits)
    point = len(digits) + exp  # digits before the decimal point
    while digits and digits[-1] == 0:
        digits.pop()
    digits = digits[:20]
    out[0] = 52 + point
    out[1] = (len(digits) << 2) | 0x01 | (0x80 if neg else 0)
    for i, d in enumerate(digits):
        if i % 2 == 0:
            out[2 + i // 2] = d << 4
        else:
            out[2 + i // 2] |= d
    return bytes(out)


def date_key(value):
    """8-byte date key: the Julian day number as a double, 0 when empty."""
    if value is None:
        return struct.pack("<d", 0.0)
    return struct.pack("<d", float(value.toordinal() + 1721425))


def upper1252(text):
    return text.upper()


# ---------------------------------------------------------------- the index

class TagDef:
    def __init__(self, name, expression, keytype, keylen, key_of, value_of,
                 for_expr=None, for_of=None, descending=False, unique=False,
                 fill=None, bare_field=False, name_pad=b"\0", entry_format=0x10):
        self.name = name
        self.expression = expression
        self.keytype = keytype
        self.keylen = keylen
        self.key_of = key_of          # record -> key bytes
        self.value_of = value_of      # record -> value to sort by
        self.for_expr = for_expr
        self.for_of = for_of          # record -> bool
        self.descending = descending
        self.unique = unique
        self.fill = fill              # keys per leaf (None: as many as fit)
        self.bare_field = bare_field
        self.name_pad = name_pad
        self.entry_format = entry_format


def item_length(keylen):
    n = keylen + 4
    while n % 4:
        n += 1
    return n


class Writer:
    def __init__(self, pages_per_block):
        self.ppb = pages_per_block
        self.bs = pages_per_block * PAGE
        self.blocks = {}  # page -> bytes
        self.next_page = HEADER_PAGES

    def alloc(self, pages=None):
        page = self.next_page
        self.next_page += pages or self.ppb
        return page

    def header_pages(self):
        # One block, at least 1024 bytes so the FOR condition at 762 fits.
        need = max(self.bs, 1024)
        return -(-need // self.bs) * self.ppb


def entries_of(tag, records):
    out = []
    for recno, r in enumerate(records, 1):
        if tag.for_of and not tag.for_of(r):
            continue
        out.append((tag.value_of(r), tag.key_of(r), recno))
    # Key order (reversed for descending tags), equal keys by record number.
    out.sort(key=lambda e: e[2])
    out.sort(key=lambda e: e[0], reverse=tag.descending)
    if tag.unique:
        kept, seen = [], set()
        for e in sorted(out, key=lambda e: e[2]):
            if e[1] not in seen:
                seen.add(e[1])
                kept.append(e[2])
        keep = set(kept)
        out = [e for e in out if e[2] in keep]
    return [(k, r) for _, k, r in out]


def build_tree(w, tag, entries, header_page):
    il = item_length(tag.keylen)
    max_keys = (w.bs - 12) // il
    fill = min(tag.fill or max_keys, max_keys)
    leaves = []
    prev = 0
    chunks = [entries[i:i + fill] for i in range(0, len(entries), fill)] or [[]]
    for chunk in chunks:
        page = w.alloc()
        b = bytearray(w.bs)
        struct.pack_into("<II", b, 0, len(chunk), prev)
        for j, (key, recno) in enumerate(chunk):
            struct.pack_into("<I", b, 8 + j * il, recno)
            b[12 + j * il:12 + j * il + tag.keylen] = key
        w.blocks[page] = b
        last = chunk[-1][0] if chunk else b"\0" * tag.keylen
        leaves.append((page, last))
        prev = page
    level = leaves
    fan = max(2, min(fill, max_keys) + 1)  # interior nodes not full either
    while len(level) > 1:
        up = []
        groups = [level[s:s + fan] for s in range(0, len(level), fan)]
        if len(groups) > 1 and len(groups[-1]) == 1:
            # No interior node with a lone child: the last two share.
            groups[-1].insert(0, groups[-2].pop())
        for group in groups:
            page = w.alloc()
            b = bytearray(w.bs)
            struct.pack_into("<I", b, 0, len(group) - 1)
            for j, (child, lastkey) in enumerate(group):
                struct.pack_into("<I", b, 8 + j * il, child)
                if j + 1 < len(group):  # the key of an item: its child's last key
                    b[12 + j * il:12 + j * il + tag.keylen] = lastkey
            w.blocks[page] = b
            up.append((page, group[-1][1]))
        level = up
    return level[0][0], max_keys


def name_tree(names):
    n = len(names)
    left, right, parent = [0] * n, [0] * n, [0] * n
    for i in range(1, n):
        w = 0
        while True:
            if names[i] < names[w]:
                if left[w] == 0:
                    left[w], parent[i] = i + 1, w + 1
                    break
                w = left[w] - 1
            else:
                if right[w] == 0:
                    right[w], parent[i] = i + 1, w + 1
                    break
                w = right[w] - 1
    return left, right, parent


def write_mdx(path, table_name, pages_per_block, tags, records, free_block=False,
              headers_first=False):
    w = Writer(pages_per_block)
    header_pages = {}
    if headers_first:
        for t in tags:
            header_pages[t.name] = w.alloc(w.header_pages())
    free_page = 0
    info = []
    for n, t in enumerate(tags):
        if t.name not in header_pages:
            header_pages[t.name] = w.alloc(w.header_pages())
        if free_block and n == 1:
            free_page = w.alloc()
            b = bytearray(w.bs)  # a released block: chained through bytes 4-7
            w.blocks[free_page] = b
        entries = entries_of(t, records)
        start = w.next_page
        root, max_keys = build_tree(w, t, entries, header_pages[t.name])
        info.append((t, entries, root, max_keys, w.next_page - start))

    for t, entries, root, max_keys, pages in info:
        hp = header_pages[t.name]
        size = w.header_pages() * PAGE
        th = bytearray(size)
        il = item_length(t.keylen)
        fmt = 0x10 | (0x08 if t.descending else 0) | (0x40 if t.unique else 0)
        struct.pack_into("<II", th, 0, root, pages + w.header_pages())
        th[8] = fmt
        th[9] = ord(t.keytype)
        th[11] = 0x1B
        struct.pack_into("<HHHH", th, 12, t.keylen, max_keys, 1 if t.keytype == "D" else 0, il)
        th[20] = 1
        th[23] = 1 if t.unique else 0
        th[24:24 + len(t.expression)] = t.expression.encode("ascii")
        th[246] = 1 if entries else 0
        struct.pack_into("<II", th, 248, root, root)  # as written when the tag is made
        th[257:260] = bytes(STAMP)
        th[480] = 1 if t.bare_field else 0
        if t.for_expr:
            th[245] = 1
            th[762:762 + len(t.for_expr)] = t.for_expr.encode("ascii")
        for k in range(0, size, w.bs):
            w.blocks[hp + k // PAGE] = th[k:k + w.bs]

    h = bytearray(HEADER_PAGES * PAGE)
    h[0] = 2
    h[1:4] = bytes(STAMP)
    h[4:4 + len(table_name)] = table_name.encode("ascii")
    struct.pack_into("<HH", h, 20, w.ppb, w.bs)
    h[24] = 1
    h[25] = 48
    h[26] = 32
    struct.pack_into("<H", h, 28, len(tags))
    h[30] = len(tags) + 1
    h[31] = 0x1B
    struct.pack_into("<III", h, 32, w.next_page, free_page, 1 if free_page else 0)
    h[44:47] = bytes(STAMP)
    left, right, parent = name_tree([t.name for t in tags])
    for i, t in enumerate(tags):
        e = 544 + 32 * i
        struct.pack_into("<I", h, e, header_pages[t.name])
        h[e + 4:e + 15] = t.name.encode("ascii").ljust(11, t.name_pad)[:11]
        if t.name_pad == b" ":
            h[e + 14] = 0
        h[e + 15] = t.entry_format
        h[e + 16], h[e + 17], h[e + 18] = left[i], right[i], parent[i]
        h[e + 19] = 0x02
        h[e + 20] = ord(t.keytype)

    out = bytearray(w.next_page * PAGE)
    out[0:len(h)] = h
    for page, b in w.blocks.items():
        out[page * PAGE:page * PAGE + len(b)] = b
    with open(path, "wb") as f:
        f.write(out)


# ---------------------------------------------------------------- the variants

def text_key(text, length):
    return text.encode("cp1252").ljust(length, b" ")[:length]


def main():
    # 512-byte blocks; tag headers take two blocks. Text, numeric and a
    # descending date tag; the name tag has three levels.
    recs = make_records(150, 512)
    tags = [
        TagDef("NAME", "NAME", "C", 20, lambda r: text_key(r["NAME"], 20),
               lambda r: text_key(r["NAME"], 20), fill=6, bare_field=True),
        TagDef("PRICE", "PRICE", "N", 12, lambda r: bcd_key(r["PRICE"]),
               lambda r: r["PRICE"], fill=25, bare_field=True),
        TagDef("BOUGHT", "BOUGHT", "D", 8, lambda r: date_key(r["BOUGHT"]),
               lambda r: r["BOUGHT"].toordinal() if r["BOUGHT"] else 0,
               descending=True, bare_field=True),
    ]
    write_dbf(os.path.join(HERE, "B512.DBF"), recs, {"NAME", "PRICE", "BOUGHT"})
    write_mdx(os.path.join(HERE, "B512.MDX"), "B512", 1, tags, recs)

    # 2048-byte blocks; tag names padded with spaces, headers written first,
    # a free block; a FOR tag on an expression, a unique tag and a FOR tag on
    # a logical field.
    recs = make_records(300, 2048)

    def up(r):
        return text_key(upper1252(r["NAME"]), 20)

    def dtos(r):
        return r["BOUGHT"].strftime("%Y%m%d") if r["BOUGHT"] else "        "

    tags = [
        TagDef("UPNAME", "UPPER(NAME)", "C", 20, up, up,
               for_expr='PRICE >= 20 .AND. COUNTRY <> "FR"',
               for_of=lambda r: r["PRICE"] >= 20 and r["COUNTRY"] != "FR",
               name_pad=b" ", entry_format=0x00, fill=40),
        TagDef("COUNTRY", "COUNTRY", "C", 2, lambda r: text_key(r["COUNTRY"], 2),
               lambda r: text_key(r["COUNTRY"], 2), unique=True, bare_field=True,
               name_pad=b" "),
        TagDef("STOCKDATE", "DTOS(BOUGHT)+NAME", "C", 28,
               lambda r: text_key(dtos(r) + r["NAME"], 28),
               lambda r: text_key(dtos(r) + r["NAME"], 28),
               for_expr="INSTOCK", for_of=lambda r: r["INSTOCK"], entry_format=0x00,
               fill=30),
    ]
    write_dbf(os.path.join(HERE, "B2048.DBF"), recs, {"COUNTRY"})
    write_mdx(os.path.join(HERE, "B2048.MDX"), "B2048", 4, tags, recs,
              free_block=True, headers_first=True)


if __name__ == "__main__":
    main()
