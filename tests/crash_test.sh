#!/bin/bash
# Kills the tool (SIGKILL, injected by strace) at each of its system calls in turn during
# an add, a replace, a delete, an apply of several formats (two adds and a delete) and a
# repair on a tape and a roll-label model, the paper tool's run
# included (a kill while the tool waits for it leaves it working), then makes the next
# change on the model and checks that the driver folder holds the four files all as
# before or all as after the operation, byte for byte, and nothing else, and that the
# stand-in paper tool holds the same formats, with the same sizes and identifiers.
#   crash_test.sh SANDBOX_TOOL STAND_IN MAKE_DRIVER_TREE CLOCK_SHIM [EVERY_NTH]
set -eu
command -v strace >/dev/null || { echo "strace is not installed: crash test skipped"; exit 0; }
tool=$(realpath "$1") standin=$(realpath "$2") make_tree=$(realpath "$3") shim=$(realpath "$4")
every=${5:-1}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
# The stopped clock for the tool alone: a sanitizer build's shim would not load elsewhere.
# The leak checker cannot work under strace.
export ZK_DRIVER_ROOT=$root ZK_CLOCK=97 ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0
kills=0
# The formats as the files hold them and as the paper tool does: name, sizes, identifier;
# of a name listed twice, the entry the tool lists first.
files_hold() {
    paste <("$command" --list | cut -f1-3) <(grep '^ZkL' "$func" | cut -d/ -f1) |
        awk -F'\t' '!seen[$1]++' | sort
}
tool_holds() { sort "$held"; }
for model in tape:txm88 roll:lr210; do
    name=${model#*:}
    inf=$root/$name/bin/inf command=$root/zkpapertoollpr_$name func=$inf/zk${name}func
    held=$root/$name/bin/lpd/zkpapertoolcups_$name.held
    ln -sf "$tool" "$command"
    # A repair's driver lists its sample format twice, the second with its own lines, and
    # holds a line no entry lists.
    damage() {
        local id dup
        id=$(grep -m1 -o '^ZkL[^/]*' "$func") dup=${id%????}FFFF
        echo "$dup/Shelf labels" >>"$func"
        sed -n "s/^$id\([/:]\)/$dup\1/p" "$inf/paperinf$name" >>"$inf/paperinf$name"
        sed -n "s/^$id:/$dup:/p" "$inf/ImagingArea" >>"$inf/ImagingArea"
        printf 'ZkL_zkS12mm__030A0322BBBB/Gone:\t70\t353\n' >>"$inf/paperinf$name"
    }
    fresh() {
        sh "$make_tree" "$root" "$standin" "$model" && { [ "$op" != --repair ] || damage; } &&
            files_hold >"$held"
    }
    wanted=$root/wanted-$name
    if [ "${model%%:*}" = tape ]; then sizes="12 50 9 40"; else sizes="62 50 40 40"; fi
    printf 'New\t%s\t%s\nOther\t%s\t%s\n' $sizes >"$wanted"
    state() { (cd "$inf" && ls -A && cat "zk${name}func" "paperinf$name" "zk${name}rc" ImagingArea); }
    for op in "-n|New|-w|12|-h|50" "-n|Shelf labels|-w|9|-h|40" "-d|Shelf labels" \
        "--apply|$wanted|--prune" --repair; do
        IFS='|' read -ra args <<<"-P|Q|$op"
        fresh && before=$(state)
        strace -qq -o "$root/trace" -E LD_PRELOAD="$shim" "$command" "${args[@]}" >/dev/null &&
            after=$(state)
        [ "$before" != "$after" ] || { echo "${args[*]} changed nothing"; exit 1; }
        mapfile -t calls < <(grep -o '^[a-z0-9_]*(' "$root/trace" | tr -d '(')
        declare -A seen=()
        for ((k = 0; k < ${#calls[@]}; k++)); do
            call=${calls[k]}
            seen[$call]=$((${seen[$call]:-0} + 1))
            ((k % every == 0)) || continue
            fresh
            { strace -qq -o /dev/null -E LD_PRELOAD="$shim" \
                -e inject="$call:signal=SIGKILL:when=${seen[$call]}" "$command" "${args[@]}" ||
                true; } >/dev/null 2>&1
            # The next change finishes whatever the killed run left, and deletes nothing.
            "$command" -P Q -d none >/dev/null 2>&1
            now=$(state)
            if { [ "$now" != "$after" ] && [ "$now" != "$before" ]; } ||
                [ "$(files_hold)" != "$(tool_holds)" ]; then
                echo "$name ${args[*]}: killed at call $k ($call #${seen[$call]}), the next change left:"
                echo "$now"
                diff <(files_hold) <(tool_holds) || true
                exit 1
            fi
            kills=$((kills + 1))
        done
        unset seen
    done
done
echo "$kills kill points: every driver all before or all after, the paper tool agreeing"
