#!/bin/sh
# Cross-check by hand: shows tables written by the engine and the foreign
# fixtures (tests/data/foreign) to every dBASE reader Debian has, and prints
# a report of which program read which file, with its first error.
#
#   scripts/interop/cross_check.sh [build-dir]      (default: build-interop)
#
# Tools (each optional; missing ones are reported, not fatal):
#   apt-get install python3-dbf libdbd-xbase-perl gdal-bin pgdbf dbview \
#                   libreoffice-calc-nogui libreoffice-base-drivers
# The engine's tables come from the test_interop tests (MK_INTEROP_KEEP).
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build-interop}
readers=$root/tests/interop/readers
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== building and running test_interop ($build)"
cmake --build "$build" --target test_interop -j2 > "$work/build.log" 2>&1 || { tail -20 "$work/build.log"; exit 1; }
mkdir -p "$work/engine"
MK_INTEROP_KEEP="$work/engine" "$build/tests/test_interop" > "$work/tests.log" 2>&1
echo "test_interop exit code $?; $(grep -E '^\[  (PASSED|FAILED|SKIPPED) ' "$work/tests.log" | tr '\n' ' ')"
grep -E '^\[  (FAILED|SKIPPED) +\] [A-Z]' "$work/tests.log" | sed 's/^/  /'
cp "$root"/tests/data/foreign/*.db? "$work/"
cp "$work"/engine/* "$work/"

have() { command -v "$1" > /dev/null 2>&1; }
pass=0; fail=0; skipped=0
# result <file> <tool> <ok 0/1> <detail>
result() {
    if [ "$3" = 0 ]; then pass=$((pass + 1)); printf '  %-18s %-10s ok    %s\n' "$1" "$2" "$4"
    elif [ "$3" = 2 ]; then skipped=$((skipped + 1)); printf '  %-18s %-10s --    %s\n' "$1" "$2" "$4"
    else fail=$((fail + 1)); printf '  %-18s %-10s FAIL  %s\n' "$1" "$2" "$4"; fi
}
# contains <file> <text>...: all texts present
contains() { f=$1; shift; for s in "$@"; do grep -aqF -- "$s" "$f" || return 1; done; return 0; }

MEMO_HEX=4c696e65203630206f66207468652074617374696e67206e6f7465732e0d0a  # "Line 60 of the tasting notes.\r\n"
cd "$work"
echo
echo "== tables (file, program, result)"
for dbf in engine_memo.dbf engine_plain.dbf cellar.dbf xbase4.dbf xbase3.dbf pydbf3.dbf gdal.dbf libreoffice.dbf; do
    base=${dbf%.dbf}
    [ -f "$dbf" ] || { result "$dbf" - 2 "missing (test_interop did not write it)"; continue; }
    memo=0; [ -f "$base.dbt" ] && memo=1
    # What every reader must show: the first name (hex of its cp1252 bytes
    # and as text) and another name; the indexed table holds other records.
    NAME_HEX=4368e274656175204d617267617578; TXT1="Château Margaux"; TXT2="Veltliner"
    if [ "$dbf" = cellar.dbf ]; then NAME_HEX=4368e27465617520; TXT1="Château "; TXT2="Changed 5"; fi
    # Perl XBase
    if have perl && perl -MXBase -e 1 2> /dev/null; then
        perl "$readers/dump_xbase.pl" "$dbf" > out 2> err
        rc=$?; set -- $NAME_HEX; [ $memo = 1 ] && set -- "$@" $MEMO_HEX
        if [ $rc = 0 ] && contains out "$@"; then result "$dbf" xbase 0 "$(($(wc -l < out) - 1)) records, names and memos exact"
        else result "$dbf" xbase 1 "$(head -c 200 err)"; fi
    else result "$dbf" xbase 2 "not installed"; fi
    # python3-dbf (code page forced for tables whose language byte is 0)
    if /usr/bin/python3 -c 'import dbf' 2> /dev/null; then
        cp=""; [ "$(od -An -tx1 -j29 -N1 "$dbf" | tr -d ' ')" = 00 ] && cp=cp1252
        /usr/bin/python3 "$readers/dump_pydbf.py" "$dbf" $cp > out 2> err
        rc=$?; set -- $NAME_HEX; [ $memo = 1 ] && set -- "$@" $MEMO_HEX
        if [ $rc = 0 ] && contains out "$@"; then result "$dbf" python-dbf 0 "$(($(wc -l < out) - 1)) records, names and memos exact${cp:+ (codepage forced)}"
        else result "$dbf" python-dbf 1 "$(head -c 200 out) $(tail -1 err)"; fi
    else result "$dbf" python-dbf 2 "not installed"; fi
    # GDAL (reads no memo values: prints block numbers)
    if have ogrinfo; then
        ogrinfo -ro -al -q "$dbf" > out 2> err
        if [ $? = 0 ] && contains out "$TXT2"; then result "$dbf" ogrinfo 0 "$(grep -c OGRFeature out) features; NAME: $(grep -a -m1 'NAME (String)' out | sed 's/.*= //')"
        else result "$dbf" ogrinfo 1 "$(head -c 200 err)"; fi
    else result "$dbf" ogrinfo 2 "not installed"; fi
    # pgdbf
    if have pgdbf; then
        if [ $memo = 1 ]; then pgdbf -s cp1252 -m "$base.dbt" "$dbf" > out 2> err; else pgdbf -s cp1252 "$dbf" > out 2> err; fi
        rc=$?; set -- "$TXT1"; [ $memo = 1 ] && set -- "$@" 'Line 60 of the tasting notes.'
        if [ $rc = 0 ] && contains out "$@"; then result "$dbf" pgdbf 0 "names and memos"
        else result "$dbf" pgdbf 1 "exit $rc $(head -c 150 err | tr '\n' ' ')"; fi
    else result "$dbf" pgdbf 2 "not installed"; fi
    # dbview (dBASE III only, no memo values)
    if have dbview; then
        dbview -b -t "$dbf" > out 2>&1
        if contains out "$TXT2"; then result "$dbf" dbview 0 "$(wc -l < out) records"
        else result "$dbf" dbview 1 "$(head -c 150 out | tr '\n' ' ')"; fi
    else result "$dbf" dbview 2 "not installed"; fi
    # LibreOffice Calc (dBASE import; the language byte is ignored, so the
    # character set is given: ANSI = Windows-1252)
    if have soffice && [ -f /usr/lib/libreoffice/program/libdbaselo.so ]; then
        rm -rf lo; timeout 180 soffice --headless --infilter="dBase:ANSI" \
            --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76' --outdir lo "$dbf" > err 2>&1
        set -- "$TXT1" "$TXT2"; [ $memo = 1 ] && set -- "$@" "Crème brûlée notes" "Line 60 of the tasting notes."
        if [ -f "lo/$base.csv" ] && contains "lo/$base.csv" "$@"; then result "$dbf" libreoffice 0 "$(($(grep -c '' "lo/$base.csv") )) csv lines, names and memos"
        else result "$dbf" libreoffice 1 "$(grep -v javaldx err | head -c 150)"; fi
    else result "$dbf" libreoffice 2 "not installed (libreoffice-calc-nogui + libreoffice-base-drivers)"; fi
done

echo
echo "== production index written by the engine (engine/cellar.mdx)"
if [ -f cellar.mdx ] && perl -MXBase::Index -e 1 2> /dev/null; then
    perl "$readers/dump_mdx.pl" cellar.mdx > out 2> err
    if [ $? = 0 ]; then
        grep '^T|' out | while IFS='|' read -r _ name len type expr; do
            printf '  tag %-10s key length %-3s type %s  expression %-28s keys walked: %s\n' \
                "$name" "$len" "$type" "$expr" "$(grep -c "^K|$name|" out)"
        done
        result cellar.mdx xbase-index 0 "tags listed and walked (order compared in test_interop)"
    else result cellar.mdx xbase-index 1 "$(head -c 200 err)"; fi
else result cellar.mdx xbase-index 2 "no cellar.mdx or XBase::Index missing"; fi
echo "  (no Debian program writes .mdx files, so none is read back by the engine)"

echo
echo "== summary: $pass ok, $fail failed, $skipped not checked"
cat <<'NOTE'
Known limitations of the tools themselves (they fail on the foreign files too):
  python-dbf 0.96 opens no version 0x8B table (dBASE IV with memo) and stops
    at a date stored as 00000000; dbview reads dBASE III (0x03/0x83) only;
  pgdbf reads dBASE IV memo files as if they were FoxPro ones (empty values,
    garbage or a crash); ogrinfo prints memo block numbers, not values;
  LibreOffice ignores the language byte: the script passes dBase:ANSI.
NOTE
