"""Prints every record of a .dbf as python3-dbf reads it, one line each:
R|<1 if deleted else 0>|<field>=<value>|...  Text and memo values are the
hex of their bytes in the table's code page; numbers use %.4f; dates are
YYYYMMDD; logicals T, F or '-' for blank; '-' is a blank value.
Header line first: H|<version hex>|<codepage>|<field>:<type>:<len>:<dec>|...
Run with Debian's /usr/bin/python3 (python3-dbf)."""
import sys
import dbf

path = sys.argv[1]
# An optional second argument forces the code page (for tables whose
# language byte says nothing).
try:
    t = dbf.Table(path, codepage=sys.argv[2]) if len(sys.argv) > 2 else dbf.Table(path)
    t.open(dbf.READ_ONLY)
except dbf.DbfError as e:
    print('E|%s' % e)
    sys.exit(2)
enc = sys.argv[2] if len(sys.argv) > 2 else t.codepage.name
fields = t.field_names
head = ['H', '%02x' % t._meta.header.version, enc]
for name in fields:
    info = t.field_info(name)
    head.append('%s:%s:%d:%d' % (name.upper(), chr(int(info.field_type)), info.length, info.decimal))
print('|'.join(head))
for rec in t:
    out = ['R', '1' if dbf.is_deleted(rec) else '0']
    for name in fields:
        ftype = chr(int(t.field_info(name).field_type))
        v = rec[name]
        if v is None or (isinstance(v, str) and v.strip() == '' and ftype in 'CM'):
            s = '-'
        elif ftype in 'CM':
            s = v.rstrip(' ').encode(enc).hex() if ftype == 'C' else v.encode(enc).hex()
        elif ftype in 'NF':
            s = '%.4f' % v
        elif ftype == 'D':
            s = v.strftime('%Y%m%d') if v else '-'
        elif ftype == 'L':
            s = 'T' if v is True else ('F' if v is False else '-')
        else:
            s = repr(v)
        out.append('%s=%s' % (name.upper(), s))
    print('|'.join(out))
t.close()
