#!/bin/sh
# Writes the foreign dBASE fixtures of this folder with programs other than
# ours (Debian packages python3-dbf, libdbd-xbase-perl, gdal-bin), so the
# engine is checked against files nobody here wrote. Run from anywhere:
#   sh tests/data/foreign/make_foreign.sh
# The files are committed; rerun only to regenerate them. Every table holds
# the same wine records (see README.md), text in Windows-1252.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Long memo (spans more than one 512-byte block): 60 numbered lines.
long_memo() {
    i=1
    while [ $i -le 60 ]; do
        printf 'Line %02d of the tasting notes.\r\n' $i
        i=$((i + 1))
    done
}
long_memo > "$out/long.txt"

# --- Perl XBase: dBASE IV (0x8B, .dbt with FF FF 08 00 blocks) and
# dBASE III (0x83, .dbt ended by 1A 1A), same records.
# XBase's own "version => 4" writes version byte 0x84, which dBASE IV never
# does; 0x0B (level 3 | dBASE IV memo) gives the usual 0x8B.
cd "$out"
for ver in 4 3; do
    xver=$ver; [ "$ver" = 4 ] && xver=11
    perl - "xb${ver}.dbf" "$xver" "long.txt" <<'PERL'
use strict; use warnings; use XBase; use Encode;
my ($file, $ver, $longfile) = @ARGV;
open my $lf, '<:raw', $longfile or die; local $/; my $long = <$lf>; close $lf;
my $t = XBase->create(name => $file, version => $ver,
    field_names    => [qw(NAME VINTAGE PRICE RATING BOUGHT OPENED NOTES)],
    field_types    => [qw(C N N F D L M)],
    field_lengths  => [20, 4, 8, 6, 8, 1, 10],
    field_decimals => [0, 0, 2, 2, 0, 0, 0]) or die XBase->errstr;
my $e = sub { encode('cp1252', $_[0]) };
$t->set_record(0, $e->("Ch\x{e2}teau Margaux"), 2005, 450, 97.5, '20100315', 1,
    $e->("Deep ruby.\r\nCassis, cedar \x{2014} long finish.")) or die $t->errstr;
$t->set_record(1, 'Rioja Reserva', 2012, 18.9, 88, '20151102', 0,
    $e->("Cr\x{e8}me br\x{fb}l\x{e9}e notes")) or die $t->errstr;
$t->set_record(2, 'Deleted wine', 1999, 1, 50, '19990101', 1, 'gone') or die $t->errstr;
$t->delete_record(2) or die $t->errstr;
$t->set_record(3, '', undef, undef, undef, undef, undef, undef) or die $t->errstr;
$t->set_record(4, $e->("Gr\x{fc}ner Veltliner"), 2020, -12.25, 0, '19991231', 0, $long)
    or die $t->errstr;
$t->close;
PERL
done

# --- python3-dbf (Debian's /usr/bin/python3): dBASE III with memo, code
# page byte 0x57 (cp1252).
/usr/bin/python3 - pydb3.dbf long.txt <<'PY'
import sys, datetime, dbf
path, longfile = sys.argv[1], sys.argv[2]
long = open(longfile, 'rb').read().decode('cp1252')
t = dbf.Table(path, 'NAME C(20); VINTAGE N(4,0); PRICE N(8,2); RATING F(6,2); '
              'BOUGHT D; OPENED L; NOTES M', dbf_type='db3', codepage='cp1252')
t.open(dbf.READ_WRITE)
t.append(('Ch\u00e2teau Margaux', 2005, 450.0, 97.5, datetime.date(2010, 3, 15), True,
          'Deep ruby.\r\nCassis, cedar \u2014 long finish.'))
t.append(('Rioja Reserva', 2012, 18.9, 88.0, datetime.date(2015, 11, 2), False,
          'Cr\u00e8me br\u00fbl\u00e9e notes'))
t.append(('Deleted wine', 1999, 1.0, 50.0, datetime.date(1999, 1, 1), True, 'gone'))
dbf.delete(t[2])
t.append()  # all fields blank
t.append(('Gr\u00fcner Veltliner', 2020, -12.25, 0.0, datetime.date(1999, 12, 31), False, long))
t.close()
PY

# --- GDAL (ogr2ogr, ESRI Shapefile driver writes only the .dbf for a
# layer without geometry): C, N (integer and decimal) and D fields.
cat > "$out/gd.csv" <<'CSV'
NAME,VINTAGE,PRICE,BOUGHT
Château Margaux,2005,450.00,2010/03/15
Rioja Reserva,2012,18.90,2015/11/02
,,,
Grüner Veltliner,2020,-12.25,1999/12/31
CSV
printf '"String(20)","Integer(4)","Real(8.2)","Date"\n' > "$out/gd.csvt"
ogr2ogr -q -f "ESRI Shapefile" -lco ENCODING=CP1252 gdal gd.csv

# --- LibreOffice Calc (needs libreoffice-base-drivers for the dBASE
# filter): CSV in, dBASE out, Windows-1252 ("ANSI"). Calc picks the
# field widths from the data and stores empty number cells as 0.
printf 'NAME,VINTAGE,PRICE,BOUGHT\nCh\342teau Margaux,2005,450.00,2010-03-15\nRioja Reserva,2012,18.9,2015-11-02\n,,,\nGr\374ner Veltliner,2020,-12.25,1999-12-31\n' \
    | iconv -f cp1252 -t utf-8 > lo.csv
HOME="$out" soffice --headless --infilter="CSV:44,34,76,1" --convert-to 'dbf:dBase:ANSI' --outdir "$out/lo" lo.csv > /dev/null 2>&1

# Copy into place with lower-case names.
cp "$out/xb4.dbf" "$here/xbase4.dbf";   cp "$out/xb4.dbt" "$here/xbase4.dbt"
cp "$out/xb3.dbf" "$here/xbase3.dbf";   cp "$out/xb3.dbt" "$here/xbase3.dbt"
cp "$out/pydb3.dbf" "$here/pydbf3.dbf"; cp "$out/pydb3.dbt" "$here/pydbf3.dbt"
cp "$out/gdal/gd.dbf" "$here/gdal.dbf"
cp "$out/lo/lo.dbf" "$here/libreoffice.dbf"
ls -l "$here"
