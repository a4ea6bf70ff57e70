#!/bin/sh
# Shows the tool at work on a sample driver tree:
#   run-demo.sh SANDBOX_TOOL STAND_IN_PAPER_TOOL ROOT
# SANDBOX_TOOL must be a build of zkpapertoollpr whose driver root is ROOT.
set -eu
tool=$1 standin=$2 root=$3
here=$(cd "$(dirname "$0")" && pwd)
model=txm88
inf=$root/$model/bin/inf

"$here/make-driver-tree.sh" "$root" "$standin" "tape:$model"
bin=$root/demo-bin
mkdir -p "$bin"
ln -sf "$tool" "$bin/zkpapertoollpr_$model"
before=$root/demo-before
rm -rf "$before" && cp -r "$inf" "$before"

run() {
    printf '\n$ zkpapertoollpr_%s' "$model"
    for word in "$@"; do
        case $word in *' '*) printf ' "%s"' "$word" ;; *) printf ' %s' "$word" ;; esac
    done
    printf '\n'
    status=0
    "$bin/zkpapertoollpr_$model" "$@" || status=$?
    echo "(exit status $status)"
    echo "--- driver files now, against the files as installed:"
    (cd "$root" && diff -r demo-before "$model/bin/inf") || true
}

echo "Sample driver of model $model laid out in $inf"
run -P TX-M88 -n "Small tag" -w 12 -h 50
run -P TX-M88 -n "Small tag" -w 18 -h 60
run -P TX-M88 -d "Small tag"
run -P TX-M88 -d "Shelf labels"
run -P TX-M88 -d "No such label"
echo
echo "--- what the paper tool was asked (one call a line):"
tr '\0' ' ' < "$root/$model/bin/lpd/zkpapertoolcups_$model.log" | sed 's/^ //'
