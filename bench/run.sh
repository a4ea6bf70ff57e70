#!/bin/sh
# Measures the tool against sed -i and cp, and prints a Markdown table of results.
#   sh bench/run.sh        (from the repository; needs hyperfine and GNU time)
# Builds a Release copy of the tool in build-bench/ whose driver root is
# build-bench/sandbox, where the sample drivers are laid out.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$repo/build-bench
runs=${BENCH_RUNS:-20}

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target zkpapertoollpr-sandbox zkpapertoolcups-standin rewrite_once >/dev/null
root=$build/sandbox work=$build/bench-data
rm -rf "$work" && mkdir -p "$work/bin"

# hyperfine's warnings about outliers would break up the table.
quietly() {
    "$@" >/dev/null 2>>"$work/hyperfine.log" || { cat "$work/hyperfine.log" >&2; exit 1; }
}

mean() {  # the mean of hyperfine's CSV row $2 (1-based), in seconds
    awk -F, -v row="$2" 'NR == row + 1 { print $2 }' "$1"
}

echo "| formats | add | sed -i add | ratio | delete | sed -i delete | ratio | add peak RSS |"
echo "|---:|---:|---:|---:|---:|---:|---:|---:|"
for size in 10:txm88 1000:txm80 100000:txe47n; do
    count=${size%%:*} model=${size#*:}
    inf=$root/$model/bin/inf tool=$root/$model/bin/lpd/zkpapertoolcups_$model
    pristine=$work/$model
    sh "$repo/bench/make-formats.sh" "$pristine" "$model" "$count"
    mkdir -p "$inf" "$(dirname "$tool")"
    cp "$build/zkpapertoolcups-standin" "$tool"
    ln -sf "$build/zkpapertoollpr-sandbox" "$work/bin/zkpapertoollpr_$model"
    restore=$work/restore-$model.sh
    printf 'cp %s/* %s/ && rm -f %s.log\n' "$pristine" "$inf" "$tool" > "$restore"
    id=$(grep '/Bench target$' "$pristine/zk${model}func" | cut -d/ -f1)

    quietly hyperfine -N --style none --runs "$runs" --warmup 2 --prepare "sh $restore" \
        --export-csv "$work/add.csv" \
        "$work/bin/zkpapertoollpr_$model -P Bench -n Bench_new -w 12 -h 50" \
        "sh $repo/bench/sed-add.sh $inf $model $tool"
    quietly hyperfine -N --style none --runs "$runs" --warmup 2 --prepare "sh $restore" \
        --export-csv "$work/delete.csv" \
        "$work/bin/zkpapertoollpr_$model -P Bench -d Bench\\ target" \
        "sh $repo/bench/sed-delete.sh $inf $model $tool $id"
    sh "$restore"
    rss=$(/usr/bin/time -f %M "$work/bin/zkpapertoollpr_$model" -P Bench -n Bench_new -w 12 -h 50 2>&1 >/dev/null)

    add=$(mean "$work/add.csv" 1) sed_add=$(mean "$work/add.csv" 2)
    del=$(mean "$work/delete.csv" 1) sed_del=$(mean "$work/delete.csv" 2)
    awk -v n="$count" -v a="$add" -v sa="$sed_add" -v d="$del" -v sd="$sed_del" -v rss="$rss" \
        'BEGIN { printf "| %d | %.2f ms | %.2f ms | %.2f | %.2f ms | %.2f ms | %.2f | %d KiB |\n",
                 n, a * 1000, sa * 1000, a / sa, d * 1000, sd * 1000, d / sd, rss }'
done

# Throughput: one rewrite of a 100 MB file against copying it and syncing the copy.
big=$work/big
awk 'BEGIN { for (i = 0; i < 2500000; i++) printf "ZkL_zkS12mm__0B0A032%X%04X/Format %06d\n", i % 16, i % 65536, i % 1000000 }' \
    | head -c 100000000 > "$big"
bytes=$(stat -c %s "$big")
quietly hyperfine -N --style none --runs 10 --warmup 1 --export-csv "$work/rewrite.csv" \
    "$build/bench/rewrite_once $big" \
    "sh -c 'cp $big $big.copy && sync $big.copy'"
rewrite=$(mean "$work/rewrite.csv" 1) copy=$(mean "$work/rewrite.csv" 2)
echo
echo "| 100 MB file | time | MB/s |"
echo "|---|---:|---:|"
awk -v b="$bytes" -v r="$rewrite" -v c="$copy" 'BEGIN {
    printf "| rewrite_file | %.0f ms | %.0f |\n| cp + sync | %.0f ms | %.0f |\n| ratio | | %.2f |\n",
           r * 1000, b / r / 1e6, c * 1000, b / c / 1e6, c / r }'
