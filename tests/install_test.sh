#!/bin/sh
# Packages the build (which installs it, staged) and checks that every model has its
# name as a relative link that starts the tool for that model, and a manual page that
# man finds.   install_test.sh BUILD_DIR MODEL...
set -eu
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
(cd "$1" && rm -f zkpapertoollpr_*.deb && cpack -G DEB >/dev/null)
dpkg-deb -x "$1"/zkpapertoollpr_*.deb "$stage"
dpkg-deb -f "$1"/zkpapertoollpr_*.deb Depends | grep -q libc6 || { echo "no library dependencies"; exit 1; }
shift
for model in "$@"; do
    name=zkpapertoollpr_$model
    test "$(readlink "$stage/usr/bin/$name")" = zkpapertoollpr || { echo "$name is no relative link"; exit 1; }
    "$stage/usr/bin/$name" | grep -q "\"$name -P" || { echo "$name does not start model $model"; exit 1; }
    man -M "$stage/usr/share/man" -w "$name" >/dev/null || { echo "man does not find $name"; exit 1; }
done
test "$(find "$stage/usr/bin" -type l | wc -l)" -eq $# || { echo "not one link per model"; exit 1; }
echo "$# model names packaged"
