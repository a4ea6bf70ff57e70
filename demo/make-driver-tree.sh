#!/bin/sh
# Lays out sample driver trees, one per model, as the driver package installs them:
#   make-driver-tree.sh ROOT STAND_IN_PAPER_TOOL tape:txm88 roll:lr210 ...
# Each model gets the sample files of its kind and a copy of the stand-in paper tool.
set -eu
root=$1 standin=$2
shift 2
samples=$(cd "$(dirname "$0")/driver" && pwd)
for entry in "$@"; do
    kind=${entry%%:*} model=${entry#*:}
    inf=$root/$model/bin/inf lpd=$root/$model/bin/lpd
    rm -rf "${root:?}/$model"
    mkdir -p "$inf" "$lpd"
    sed "s/@MODEL@/$model/g" "$samples/$kind/func" > "$inf/zk${model}func"
    sed "s/@MODEL@/$model/g" "$samples/$kind/paperinf" > "$inf/paperinf$model"
    sed "s/@MODEL@/$model/g" "$samples/$kind/rc" > "$inf/zk${model}rc"
    sed "s/@MODEL@/$model/g" "$samples/$kind/ImagingArea" > "$inf/ImagingArea"
    cp "$standin" "$lpd/zkpapertoolcups_$model"
done
