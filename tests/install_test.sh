#!/bin/sh
# Installs the build into a scratch prefix, staged with DESTDIR, and checks that every
# model has its name there as a relative link that starts the tool for that model,
# and a manual page that man finds.
#   install_test.sh BUILD_DIR MODEL...
set -eu
build=$1
shift
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
bin=$stage/usr/bin
test -x "$bin/zkpapertoollpr"
count=0
for model in "$@"; do
    name=zkpapertoollpr_$model
    test "$(readlink "$bin/$name")" = zkpapertoollpr || { echo "$name is no relative link"; exit 1; }
    "$bin/$name" | grep -q "\"$name -P" || { echo "$name does not start model $model"; exit 1; }
    man -M "$stage/usr/share/man" -w "$name" >/dev/null || { echo "man does not find $name"; exit 1; }
    count=$((count + 1))
done
links=$(find "$bin" -type l | wc -l)

test "$links" -eq "$count" || { echo "$links links installed for $count models"; exit 1; }
echo "$count model names installed"
