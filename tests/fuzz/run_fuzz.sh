#!/bin/sh
# Builds the fuzz target with clang and libFuzzer and runs it for a bounded
# time. Exit 77 (skipped) when clang or libFuzzer is not available.
#   run_fuzz.sh CLANGXX SOURCE_DIR WORK_DIR SECONDS
set -u
CXX="$1"; SRC="$2"; WORK="$3"; SECONDS_TO_RUN="$4"
mkdir -p "$WORK/corpus" "$WORK/seeds" || exit 1
E="$SRC/storage/engine"
if ! "$CXX" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I"$SRC" \
    "$SRC/tests/fuzz/fuzz_dbf.cpp" "$E"/*.cpp \
    -o "$WORK/fuzz_dbf" 2>"$WORK/build.log"; then
    if grep -q -i -e "libclang_rt.fuzzer" -e "cannot find" "$WORK/build.log"; then
        echo "libFuzzer not available: skipped"; exit 77
    fi
    cat "$WORK/build.log"; exit 1
fi
# Seeds: the fixture tables in the input format (2-byte .dbf length, .dbf, .dbt).
D="$SRC/tests/data/engine"
for base in plain dbase3 CELLAR broken_memo broken_truncated; do
    dbf=$(ls "$D"/$base.dbf "$D"/$base.DBF 2>/dev/null | head -n 1)
    dbt=$(ls "$D"/$base.dbt "$D"/$base.DBT 2>/dev/null | head -n 1)
    [ -n "$dbf" ] || continue
    len=$(wc -c < "$dbf")
    out="$WORK/seeds/$base"
    printf "$(printf '\\%03o\\%03o' $((len % 256)) $((len / 256)))" > "$out"
    cat "$dbf" >> "$out"
    [ -n "$dbt" ] && cat "$dbt" >> "$out"
done
cd "$WORK" && ./fuzz_dbf -max_total_time="$SECONDS_TO_RUN" -max_len=8192 -timeout=10 -rss_limit_mb=1024 \
    -print_final_stats=1 corpus seeds
