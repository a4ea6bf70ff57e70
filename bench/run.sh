#!/bin/sh
# Measures the tool against sed -i and against floor (the least a correct tool can
# do), --list against an add, --check against --list, and prints Markdown tables of
# results.
#   sh bench/run.sh        (from the repository; needs hyperfine and GNU time)
# Builds a Release copy of the tool in build-bench/ whose driver root is
# build-bench/sandbox, where the sample drivers are laid out. BENCH_RUNS sets the
# number of timed runs of each command (default 20).
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$repo/build-bench
runs=${BENCH_RUNS:-20}

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 \
    --target zkpapertoollpr-sandbox zkpapertoolcups-standin rewrite_once floor >/dev/null
floor=$build/bench/floor
root=$build/sandbox work=$build/bench-data
rm -rf "$work" && mkdir -p "$work/bin"

# hyperfine's warnings about outliers would break up the table.
quietly() {
    "$@" >/dev/null 2>>"$work/hyperfine.log" || { cat "$work/hyperfine.log" >&2; exit 1; }
}

# The median of hyperfine's CSV row $2 (1-based), in seconds. Not the mean: the disk
# is shared, and a few syncs that wait for others' writes would swing it.
median() {
    awk -F, -v row="$2" 'NR == row + 1 { print $4 }' "$1"
}

# One hyperfine run of the tool, sed -i and floor doing the same thing ($1 names it
# for the CSV file), each command on freshly restored driver files.
compare() {
    quietly hyperfine -N --style none --runs "$runs" --warmup 2 --prepare "sh $restore" \
        --export-csv "$work/$1-$count.csv" "$2" "$3" "$4"
}

# formats, what, tool, sed -i, floor -> one table row
row() {
    awk -v n="$1" -v what="$2" -v t="$3" -v s="$4" -v f="$5" 'BEGIN {
        printf "| %d | %s | %.2f ms | %.2f ms | %.2f ms | %.2f | %.2f |\n",
               n, what, t * 1000, s * 1000, f * 1000, t / s, t / f }'
}

# Lays out a sample driver of MODEL with COUNT formats of KIND, kept pristine in FOLDER,
# and sets inf, tool, pristine, bin and restore (a script that puts it back).
#   lay_out MODEL COUNT FOLDER [KIND]
lay_out() {
    model=$1 count=$2 pristine=$3
    inf=$root/$model/bin/inf tool=$root/$model/bin/lpd/zkpapertoolcups_$model
    sh "$repo/bench/make-formats.sh" "$pristine" "$model" "$count" ${4:+"$4"}
    mkdir -p "$inf" "$(dirname "$tool")"
    cp "$build/zkpapertoolcups-standin" "$tool"
    bin=$work/bin/zkpapertoollpr_$model
    ln -sf "$build/zkpapertoollpr-sandbox" "$bin"
    restore=$work/restore-$model.sh
    # The sync keeps the write-back of the restored files out of the first timed sync.
    printf 'cp %s/* %s/ && rm -f %s.log && sync\n' "$pristine" "$inf" "$tool" > "$restore"
}

table=$work/table.md rss_table=$work/rss.md
for size in 10:txm88 1000:txm80 100000:txe47n; do
    count=${size%%:*} model=${size#*:}
    lay_out "$model" "$count" "$work/$model"
    id=$(grep '/Bench target$' "$pristine/zk${model}func" | cut -d/ -f1)

    tool_add="$bin -P Bench -n Bench_new -w 12 -h 50"
    tool_delete="$bin -P Bench -d \"Bench target\""
    sed_add="sh $repo/bench/sed-add.sh $inf $model $tool"
    sed_delete="sh $repo/bench/sed-delete.sh $inf $model $tool $id"
    floor_add="$floor add $inf $model $tool"
    floor_delete="$floor delete $inf $model $tool"
    # Every command goes through sh -c, so that the shell costs each the same.
    compare cycle "sh -c '$tool_add && $tool_delete'" "sh -c '$sed_add && $sed_delete'" \
        "sh -c '$floor_add && $floor_delete'"
    compare add "sh -c '$tool_add'" "sh -c '$sed_add'" "sh -c '$floor_add'"
    compare delete "sh -c '$tool_delete'" "sh -c '$sed_delete'" "sh -c '$floor_delete'"
    sh "$restore"
    rss=$(/usr/bin/time -f %M "$bin" -P Bench -n Bench_new -w 12 -h 50 2>&1 >/dev/null)

    for what in cycle add delete; do
        csv=$work/$what-$count.csv
        label=$what
        [ "$what" = cycle ] && label="**add + delete**"
        row "$count" "$label" "$(median "$csv" 1)" "$(median "$csv" 2)" "$(median "$csv" 3)" >> "$table"
    done
    echo "| $count | $rss KiB |" >> "$rss_table"
done

echo "| formats | run | tool | sed -i | floor | tool / sed -i | tool / floor |"
echo "|---:|---|---:|---:|---:|---:|---:|"
cat "$table"
echo
echo "| formats | add peak RSS |"
echo "|---:|---:|"
cat "$rss_table"

# Listing against an add on the same driver, the files as the tool's adds leave them:
# a tape driver with every third identifier lacking its media part and a roll driver with
# every third label 5000 mm long, so that both read the paper info file. Each run on
# freshly restored files; /usr/bin/time gives the peak memory.
list_table=$work/list.md check_table=$work/check.md
for size in 10:txk30:tape-mixed 100000:txk30:tape-mixed 10:lr260:roll 100000:lr260:roll; do
    count=${size%%:*} rest=${size#*:}
    model=${rest%%:*} kind=${rest#*:}
    lay_out "$model" "$count" "$work/$model-$count" "$kind"
    csv=$work/list-$model-$count.csv
    quietly hyperfine -N --style none --runs "$runs" --warmup 2 --prepare "sh $restore" \
        --export-csv "$csv" "$bin -P Bench -n Bench_new -w 12 -h 50" "$bin --list"
    sh "$restore"
    add_rss=$(/usr/bin/time -f '%M' "$bin" -P Bench -n Bench_new -w 12 -h 50 2>&1 >/dev/null)
    list_rss=$(/usr/bin/time -f '%M' "$bin" --list 2>&1 >/dev/null)
    awk -v n="$count" -v k="$kind" -v a="$(median "$csv" 1)" -v l="$(median "$csv" 2)" \
        -v ar="$add_rss" -v lr="$list_rss" 'BEGIN {
        printf "| %s | %d | %.2f ms | %.2f ms | %.2f | %d KiB | %d KiB |\n",
               k, n, a * 1000, l * 1000, l / a, ar, lr }' >> "$list_table"
    # --check against --list on the same files; both only read.
    sh "$restore"
    csv=$work/check-$model-$count.csv
    quietly hyperfine -N --style none --runs "$runs" --warmup 2 \
        --export-csv "$csv" "$bin --list" "$bin --check"
    check_rss=$(/usr/bin/time -f '%M' "$bin" --check 2>&1 >/dev/null)
    awk -v n="$count" -v k="$kind" -v l="$(median "$csv" 1)" -v c="$(median "$csv" 2)" \
        -v lr="$list_rss" -v cr="$check_rss" 'BEGIN {
        printf "| %s | %d | %.2f ms | %.2f ms | %.2f | %d KiB | %d KiB |\n",
               k, n, l * 1000, c * 1000, c / l, lr, cr }' >> "$check_table"
done
echo
echo "| driver | formats | add | --list | --list / add | add peak RSS | --list peak RSS |"
echo "|---|---:|---:|---:|---:|---:|---:|"
cat "$list_table"
echo
echo "| driver | formats | --list | --check | --check / --list | --list peak RSS | --check peak RSS |"
echo "|---|---:|---:|---:|---:|---:|---:|"
cat "$check_table"

# --apply. 1,000 new formats into a driver that holds only "Bench target", against its
# floor: the same 2,000 paper tool calls from a shell loop plus one single add. Then an
# apply that changes nothing on 100,000 formats (its own listing) against --list.
apply_runs=$((runs < 5 ? runs : 5))
lay_out txm80 0 "$work/txm80-apply"
awk 'BEGIN { for (i = 0; i < 1000; i++) printf "Apply %04d\t12\t50\n", i }' >"$work/apply-1000"
{
    echo 'i=0; while [ $i -lt 1000 ]; do n=$(printf "Apply %04d" $i)'
    echo "    $tool -P Bench -d \"\$n\" -show 1 &&"
    echo "    $tool -P Bench -n \"\$n\" -w 10 -h 50 -specid ZkL_zkS12mm__0A0A0320F3A7 -show 1"
    echo '    i=$((i + 1)); done'
    echo "$bin -P Bench -n Bench_new -w 12 -h 50"
} >"$work/apply-floor.sh"
quietly hyperfine -N --style none --runs "$apply_runs" --warmup 1 --prepare "sh $restore" \
    --export-csv "$work/apply-1000.csv" "$bin -P Bench --apply $work/apply-1000" \
    "sh $work/apply-floor.sh"
lay_out txk30 100000 "$work/txk30-100000" tape-mixed
sh "$restore"
"$bin" --list >"$work/apply-same"
quietly hyperfine -N --style none --runs "$runs" --warmup 2 \
    --export-csv "$work/apply-same.csv" "$bin -P Bench --apply $work/apply-same" "$bin --list"
apply_rss=$(/usr/bin/time -f '%M' "$bin" -P Bench --apply "$work/apply-same" 2>&1 >/dev/null)
echo
echo "| apply | tool | floor or --list | ratio |"
echo "|---|---:|---:|---:|"
for what in 1000 same; do
    csv=$work/apply-$what.csv
    label="1,000 new formats, against 2,000 paper tool calls and an add"
    [ "$what" = same ] && label="100,000 formats, nothing to change, against --list"
    awk -v w="$label" -v t="$(median "$csv" 1)" -v f="$(median "$csv" 2)" 'BEGIN {
        printf "| %s | %.2f ms | %.2f ms | %.2f |\n", w, t * 1000, f * 1000, t / f }'
done
echo "| peak RSS of the apply that changes nothing | $apply_rss KiB | | |"

# Throughput: one rewrite of a 100 MB file against copying it and syncing the copy.
big=$work/big
awk 'BEGIN { for (i = 0; i < 2500000; i++) printf "ZkL_zkS12mm__0B0A032%X%04X/Format %06d\n", i % 16, i % 65536, i % 1000000 }' \
    | head -c 100000000 > "$big"
sync
bytes=$(stat -c %s "$big")
quietly hyperfine -N --style none --runs 10 --warmup 1 --export-csv "$work/rewrite.csv" \
    "$build/bench/rewrite_once $big" \
    "sh -c 'cp $big $big.copy && sync $big.copy'"
rewrite=$(median "$work/rewrite.csv" 1) copy=$(median "$work/rewrite.csv" 2)
echo
echo "| 100 MB file | time | MB/s |"
echo "|---|---:|---:|"
awk -v b="$bytes" -v r="$rewrite" -v c="$copy" 'BEGIN {
    printf "| rewrite_file | %.0f ms | %.0f |\n| cp + sync | %.0f ms | %.0f |\n| ratio | | %.2f |\n",
           r * 1000, b / r / 1e6, c * 1000, b / c / 1e6, c / r }'
