#!/bin/bash
# Kills the tool (SIGKILL, injected by strace) at each of its system calls in turn during
# an add, a replace and a delete, lets the next run (a --list) find what it left, and
# checks that the driver folder then holds the four files all as before or all as after
# the operation (after, once the kill comes at the first rename or later), byte for byte,
# and nothing else.
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
inf=$root/txm88/bin/inf command=$root/zkpapertoollpr_txm88
ln -s "$tool" "$command"
fresh() { sh "$make_tree" "$root" "$standin" tape:txm88; }
state() { (cd "$inf" && ls -A && cat zktxm88func paperinftxm88 zktxm88rc ImagingArea); }
kills=0
for op in "-n|New|-w|12|-h|50" "-n|Shelf labels|-w|9|-h|40" "-d|Shelf labels"; do
    IFS='|' read -ra args <<<"-P|Q|$op"
    fresh && before=$(state)
    strace -qq -o "$root/trace" -E LD_PRELOAD="$shim" "$command" "${args[@]}" && after=$(state)
    [ "$before" != "$after" ] || { echo "${args[*]} changed nothing"; exit 1; }
    mapfile -t calls < <(grep -o '^[a-z0-9_]*(' "$root/trace" | tr -d '(')
    # From the first rename on, the commit record is whole: the next run must finish it.
    committed=$(printf '%s\n' "${calls[@]}" | grep -n -m1 '^rename' | cut -d: -f1)
    declare -A seen=()
    for ((k = 0; k < ${#calls[@]}; k++)); do
        call=${calls[k]}
        seen[$call]=$((${seen[$call]:-0} + 1))
        ((k % every == 0)) || continue
        fresh
        { strace -qq -o /dev/null -E LD_PRELOAD="$shim" \
            -e inject="$call:signal=SIGKILL:when=${seen[$call]}" "$command" "${args[@]}" ||
            true; } >/dev/null 2>&1
        "$command" --list >/dev/null
        now=$(state)
        if [ "$now" != "$after" ] && { [ "$now" != "$before" ] || ((k + 1 >= committed)); }; then
            echo "${args[*]}: killed at call $k ($call #${seen[$call]}), the next run left:"
            echo "$now"
            exit 1
        fi
        kills=$((kills + 1))
    done
    unset seen
done
echo "$kills kill points: every driver all before or all after"
