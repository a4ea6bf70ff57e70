#!/bin/sh
# The baseline for a delete: the same paper tool call and the same edits, one sed -i
# pass per file, each edited file synced. It is given the identifier; the tool has to
# find it.   sed-delete.sh INF_FOLDER MODEL PAPER_TOOL IDENTIFIER
set -eu
inf=$1 model=$2 tool=$3 id=$4
"$tool" -P Bench -d "Bench target" -show 1
sed -i "/$id/d" "$inf/zk${model}func" && sync "$inf/zk${model}func"
sed -i "/$id/d" "$inf/paperinf$model" && sync "$inf/paperinf$model"
sed -i "s/.*$id.*/Media=zkS12mm/" "$inf/zk${model}rc" && sync "$inf/zk${model}rc"
sed -i "/$id/d" "$inf/ImagingArea" && sync "$inf/ImagingArea"
