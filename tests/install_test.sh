#!/bin/sh
# Installs the build into a scratch prefix, staged with DESTDIR, then packages it, and
# checks that every model has its name as a relative link that starts the tool for that
# model, and a manual page that man finds, in both.   install_test.sh BUILD_DIR MODEL...
set -eu
build=$1
shift
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
(cd "$build" && rm -f zkpapertoollpr_*.deb && cpack -G DEB >/dev/null)
contents=$(dpkg-deb -c "$build"/zkpapertoollpr_*.deb)
fail() { echo "$*"; exit 1; }
for model in "$@"; do
    name=zkpapertoollpr_$model
    test "$(readlink "$stage/usr/bin/$name")" = zkpapertoollpr || fail "$name is no relative link"
    "$stage/usr/bin/$name" | grep -q "\"$name -P" || fail "$name does not start model $model"
    man -M "$stage/usr/share/man" -w "$name" >/dev/null || fail "man does not find $name"
    for file in "bin/$name -> zkpapertoollpr" "share/man/man1/$name.1.gz -> zkpapertoollpr.1.gz"; do
        printf '%s\n' "$contents" | grep -q -- " ./usr/$file$" || fail "the package lacks $file"
    done
done
test "$(find "$stage/usr/bin" -type l | wc -l)" -eq $# || fail "not one link per model"
dpkg-deb -f "$build"/zkpapertoollpr_*.deb Depends | grep -q libc6 || fail "no library dependencies"
echo "$# model names installed and packaged"
