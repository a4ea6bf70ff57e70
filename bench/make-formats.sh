#!/bin/sh
# Writes a sample tape driver holding COUNT custom formats plus the one named
# "Bench target" (last, so that finding it reads every line) into FOLDER, with file
# names for MODEL:   make-formats.sh FOLDER MODEL COUNT
set -eu
dir=$1 model=$2 count=$3
mkdir -p "$dir"
awk -v n="$count" -v dir="$dir" -v model="$model" 'BEGIN {
    func_file = dir "/zk" model "func"; paper = dir "/paperinf" model
    rc = dir "/zk" model "rc"; area = dir "/ImagingArea"
    print "[Function]\nResolution=180\n[CustomTape]" > func_file
    print "Standard/12mm:\t70\t354" > paper
    print "Standard:\t0.00\t0.00\t28.00\t141.52" > area
    for (i = 0; i <= n; i++) {
        name = i < n ? sprintf("Format %06d", i) : "Bench target"
        id = sprintf("ZkL_zkS12mm__%02X0A032%X%04X", length(name), i % 16, i % 65536)
        print id "/" name > func_file
        print id "/" name ":\t70\t353" > paper
        print id ":\t0.00\t0.00\t28.00\t141.52" > area
    }
    print "[Options]\nMirror=0" > func_file
    print "Printer=" model "\nMedia=" id "\nCopies=1" > rc
}'
