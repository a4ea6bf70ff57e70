#!/bin/sh
# Builds the Debian package and checks that it holds the tool, its manual page and
# one link of each for every model, and that its dependencies were found.
#   package_test.sh BUILD_DIR MODEL...
set -eu
build=$1
shift
cd "$build"
rm -f zkpapertoollpr_*.deb
cpack -G DEB >/dev/null
deb=$(ls zkpapertoollpr_*.deb)
contents=$(dpkg-deb -c "$deb")
expect() {
    printf '%s\n' "$contents" | grep -q -- "$1" || { echo "$deb lacks: $1"; exit 1; }
}
expect " ./usr/bin/zkpapertoollpr$"
expect " ./usr/share/man/man1/zkpapertoollpr.1.gz$"
for model in "$@"; do
    expect " ./usr/bin/zkpapertoollpr_$model -> zkpapertoollpr$"
    expect " ./usr/share/man/man1/zkpapertoollpr_$model.1.gz -> zkpapertoollpr.1.gz$"
done
dpkg-deb -f "$deb" Depends | grep -q libc6 || { echo "$deb has no shared-library dependencies"; exit 1; }
echo "$deb holds the tool, its manual and $# model names"
