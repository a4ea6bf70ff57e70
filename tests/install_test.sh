#!/bin/sh
# Packages the build (which installs it, staged) and checks that every model has its
# name as a relative link that starts the tool for that model, and a manual page that
# man finds.   install_test.sh BUILD_DIR MODEL...
set -eu
fail() { echo "$*"; exit 1; }
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
(cd "$1" && rm -f zkpapertoollpr_*.deb && cpack -G DEB >/dev/null)
dpkg-deb -x "$1"/zkpapertoollpr_*.deb "$stage"
dpkg-deb -f "$1"/zkpapertoollpr_*.deb Depends | grep -q libc6 || fail "no library dependencies"
shift
for model in "$@"; do
    name=zkpapertoollpr_$model
    test "$(readlink "$stage/usr/bin/$name")" = zkpapertoollpr || fail "$name is no relative link"
    "$stage/usr/bin/$name" | grep -q "\"$name -P" || fail "$name does not start model $model"
    man -M "$stage/usr/share/man" -w "$name" >/dev/null || fail "man does not find $name"
done
test "$(find "$stage/usr/bin" -type l | wc -l)" -eq $# || fail "not one link per model"
echo "$# model names packaged"
