#!/bin/sh
# Builds a fuzz target with clang and libFuzzer and runs it for a bounded
# time. Exit 77 (skipped) when clang or libFuzzer is not available.
#   run_fuzz.sh CLANGXX SOURCE_DIR WORK_DIR SECONDS [TARGET]
# TARGET is fuzz_dbf (the default: .dbf and .dbt readers) or fuzz_mdx
# (production index reader and updater).
set -u
CXX="$1"; SRC="$2"; WORK="$3"; SECONDS_TO_RUN="$4"; TARGET="${5:-fuzz_dbf}"
mkdir -p "$WORK/corpus" "$WORK/seeds" || exit 1
E="$SRC/storage/engine"
if ! "$CXX" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I"$SRC" \
    "$SRC/tests/fuzz/$TARGET.cpp" "$E"/*.cpp \
    -o "$WORK/$TARGET" 2>"$WORK/build.log"; then
    if grep -q -i -e "libclang_rt.fuzzer" -e "cannot find" "$WORK/build.log"; then
        echo "libFuzzer not available: skipped"; exit 77
    fi
    cat "$WORK/build.log"; exit 1
fi
MAX_LEN=8192
if [ "$TARGET" = fuzz_mdx ]; then
    # The target writes its own seed (a sound index of its table) at start-up.
    MAX_LEN=65536
    export MK_FUZZ_SEED_DIR="$WORK/seeds"
else
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
fi
cd "$WORK" && "./$TARGET" -max_total_time="$SECONDS_TO_RUN" -max_len="$MAX_LEN" -timeout=10 -rss_limit_mb=1024 \
    -print_final_stats=1 corpus seeds
