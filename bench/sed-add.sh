#!/bin/sh
# The baseline for an add: the same paper tool calls and the same edits, one sed -i
# pass per file, each edited file synced.   sed-add.sh INF_FOLDER MODEL PAPER_TOOL
set -eu
inf=$1 model=$2 tool=$3
name="Bench new" id=ZkL_zkS12mm__090A0321F3A7
"$tool" -P Bench -d "$name" -show 1
"$tool" -P Bench -n "$name" -w 10 -h 50 -specid "$id" -show 1
sed -i "/\[CustomTape\]/a $id/$name" "$inf/zk${model}func" && sync "$inf/zk${model}func"
sed -i "\$a $id/$name:\t70\t353" "$inf/paperinf$model" && sync "$inf/paperinf$model"
sed -i "\$a $id:\t0.00\t0.00\t28.00\t141.52" "$inf/ImagingArea" && sync "$inf/ImagingArea"
