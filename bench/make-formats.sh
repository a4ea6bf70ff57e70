#!/bin/sh
# Writes a sample driver holding COUNT custom formats plus the one named "Bench target"
# into FOLDER, with file names for MODEL:   make-formats.sh FOLDER MODEL COUNT [KIND]
# KIND tape (the default): tape formats, each identifier with its media, every file in
#   the same order, "Bench target" last, so that finding it reads every line.
# KIND tape-mixed or roll: the files as the tool's own adds leave them, the function
#   file newest first and the others newest last ("Bench target" the newest), no
#   identifier twice; tape-mixed
#   leaves every third identifier without a media part (a 10 mm label on 12 mm tape),
#   roll makes every third label 5000 mm long, beyond what an identifier holds.
set -eu
dir=$1 model=$2 count=$3 kind=${4:-tape}
mkdir -p "$dir"
awk -v n="$count" -v dir="$dir" -v model="$model" -v kind="$kind" 'BEGIN {
    func_file = dir "/zk" model "func"; paper = dir "/paperinf" model
    rc = dir "/zk" model "rc"; area = dir "/ImagingArea"
    roll = kind == "roll"
    print "[Function]\nResolution=" (roll ? 300 : 180) "\n[CustomTape]" > func_file
    print (roll ? "29X1/Address:\t306\t1061" : "Standard/12mm:\t70\t354") > paper
    print (roll ? "29X1" : "Standard") ":\t0.00\t0.00\t28.00\t141.52" > area
    for (i = 0; i <= n; i++) {
        name = i < n ? sprintf("Format %06d", i) : "Bench target"
        # Adds never give two formats one identifier (the tape kind repeats some).
        time = sprintf("%X%04X", (kind == "tape" ? i : int(i / 65536)) % 16, i % 65536)
        if (roll) {
            long = i % 3 == 0
            id = sprintf("ZkL%02X3E%s%s", length(name), long ? "388" : "064", time)
            dots = long ? "695\t58894" : "695\t1108"
            points = "0.00\t" (long ? "14151.72" : "283.03")
        } else {
            media = kind == "tape-mixed" && i % 3 == 0 ? "" : "_zkS12mm__"
            id = sprintf("ZkL%s%02X0A032%s", media, length(name), time)
            dots = "70\t353"
            points = "28.00\t141.52"
        }
        entry[i] = id "/" name
        print id "/" name ":\t" dots > paper
        print id ":\t0.00\t0.00\t" points > area
    }
    for (i = 0; i <= n; i++) print entry[kind == "tape" ? i : n - i] > func_file
    print "[Options]\nMirror=0" > func_file
    print "Printer=" model "\n" (roll ? "MediaSize=" : "Media=") id "\nCopies=1" > rc
}'
