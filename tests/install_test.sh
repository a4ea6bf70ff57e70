#!/bin/sh
# Packages the build (which installs it, staged) and checks each model's name: a relative
# link that starts the tool for that model, a manual page that man finds, a completion;
# then the package's size and lint, and what the completion offers.  install_test.sh DIR MODEL...
set -eu
fail() { echo "$*"; exit 1; }
build=$1 stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
(cd "$build" && rm -f zkpapertoollpr_*.deb && cpack -G DEB >/dev/null)
deb=$(echo "$build"/zkpapertoollpr_*.deb)
dpkg-deb -x "$deb" "$stage"
dpkg-deb -f "$deb" Depends | grep -q libc6 || fail "no library dependencies"
shift
for model in "$@"; do
    name=zkpapertoollpr_$model
    test "$(readlink "$stage/usr/bin/$name")" = zkpapertoollpr || fail "$name is no relative link"
    "$stage/usr/bin/$name" | grep -q "\"$name -P" || fail "$name does not start model $model"
    man -M "$stage/usr/share/man" -w "$name" >/dev/null || fail "man does not find $name"
    test -L "$stage/usr/share/bash-completion/completions/$name" || fail "$name: no completion"
done
test "$(find "$stage/usr/bin" -type l | wc -l)" -eq $# || fail "not one link per model"
# dpkg's own count: files and links by their size in KiB rounded up, 1 for a folder.
size=$(find "$stage" -printf '%y %s\n' |
       awk '{ n += $1 == "d" ? 1 : int(($2 + 1023) / 1024) } END { print n }')
test "$(dpkg-deb -f "$deb" Installed-Size)" -eq "$size" || fail "Installed-Size is not $size"
skip=${ZK_NO_LINT:-$(command -v lintian >/dev/null || echo "lintian is not installed")}
if [ "$skip" ]; then echo "The package is not linted: $skip"; else
    lintian -I --fail-on error,warning,info "$deb" || fail lintian; fi
mkdir "$stage/path" && ln -s "$build/zkpapertoollpr-sandbox" "$stage/path/zkpapertoollpr_txm88"
sh "${0%/*}/../demo/make-driver-tree.sh" "$stage/root" "$build/zkpapertoolcups-standin" tape:txm88
offered=$(PATH=$stage/path:$PATH ZK_DRIVER_ROOT=$stage/root bash -c '. "$0"; c() {
    COMP_WORDS=(zkpapertoollpr_txm88 "$@") COMP_CWORD=$#; _zkpapertoollpr zkpapertoollpr_txm88
    echo "${COMPREPLY[*]}"; }; c --; c -P Q -d Sh; c -P Q -n \"S; c -P Q -w 1 ""' \
    "$stage/usr/share/bash-completion/completions/zkpapertoollpr_txm88")
test "$offered" = "$(printf '%s\n' '--list --check --version --help' 'Shelf\ labels' 'Shelf labels' \
    '-n -h')" || fail "the completion offers: $offered"
echo "$# model names packaged"
