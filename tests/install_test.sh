#!/bin/sh
# Packages the build (which installs it, staged) and checks each model's name: a relative
# link that starts the tool for that model, a manual page that man finds, a completion;
# then the package's size, dependencies and lint, what the completion offers, and the
# RPM against the .deb.  install_test.sh DIR MODEL...
set -eu
fail() { echo "$*"; exit 1; }
build=$1 stage=$(mktemp -d) lists=$(mktemp -d)
trap 'rm -rf "$stage" "$lists"' EXIT
(cd "$build" && rm -f zkpapertoollpr_*.deb && cpack -G DEB >/dev/null)
deb=$(echo "$build"/zkpapertoollpr_*.deb)
dpkg-deb -x "$deb" "$stage"
# Only a sanitizer build, never shipped, may need more than the shipped one.
unshipped=${ZK_NOT_SHIPPED:-}
depends=$(dpkg-deb -f "$deb" Depends)
if [ "$unshipped" ]; then echo "Dependencies and lint are not checked: $unshipped"; else
    # The C library and libgcc_s, which every system has, no newer than RHEL 9's glibc.
    floor=$(echo "$depends" | sed -n 's/^libc6 (>= \([0-9.]*\)), libgcc-s1 (>= [0-9.]*)$/\1/p')
    newest=$(objdump -T "$stage/usr/bin/zkpapertoollpr" | grep -o 'GLIBC_[0-9.]*' | sort -uV |
             tail -1)
    dpkg --compare-versions "${floor:-99}" le 2.34 &&
        dpkg --compare-versions "${newest#GLIBC_}" le 2.34 ||
        fail "needs more than glibc 2.34: Depends: $depends; the program: $newest"
fi
shift
for model in "$@"; do
    name=zkpapertoollpr_$model
    test "$(readlink "$stage/usr/bin/$name")" = zkpapertoollpr || fail "$name is no relative link"
    "$stage/usr/bin/$name" | grep -q "\"$name -P" || fail "$name does not start model $model"
    man -M "$stage/usr/share/man" -w "$name" >/dev/null || fail "man does not find $name"
    test -L "$stage/usr/share/bash-completion/completions/$name" || fail "$name: no completion"
done
test "$(find "$stage/usr/bin" -type l | wc -l)" -eq $# || fail "not one link per model"
test -f "$stage/usr/share/ansible/plugins/modules/zkpapertoollpr.py" || fail "no Ansible module"
# dpkg's own count: files and links by their size in KiB rounded up, 1 for a folder.
size=$(find "$stage" -printf '%y %s\n' |
       awk '{ n += $1 == "d" ? 1 : int(($2 + 1023) / 1024) } END { print n }')
test "$(dpkg-deb -f "$deb" Installed-Size)" -eq "$size" || fail "Installed-Size is not $size"
skip=${unshipped:-$(command -v lintian >/dev/null || echo "lintian is not installed")}
if [ "$skip" ]; then echo "The package is not linted: $skip"; else
    lintian -I --fail-on error,warning,info "$deb" || fail lintian; fi
mkdir "$stage/path" && ln -s "$build/zkpapertoollpr-sandbox" "$stage/path/zkpapertoollpr_txm88"
sh "${0%/*}/../demo/make-driver-tree.sh" "$stage/root" "$build/zkpapertoolcups-standin" tape:txm88
# What the completion offers, as bash-completion calls it: a word that ':' broke up is
# joined again from the line, and bash then replaces only what follows the ':'.
completion=/usr/share/bash-completion/bash_completion
ZK_DRIVER_ROOT=$stage/root "$stage/path/zkpapertoollpr_txm88" -P Q -n 'a\b:c' -w 9 -h 9
if [ ! -f $completion ]; then echo "Completion not checked: bash-completion is not installed"; else
    offered=$(PATH=$stage/path:$PATH ZK_DRIVER_ROOT=$stage/root bash -c '. "$1"; . "$0"; l() {
        COMP_LINE=$1 COMP_POINT=${#1}; shift
        COMP_WORDS=(zkpapertoollpr_txm88 "$@") COMP_CWORD=$#; _zkpapertoollpr zkpapertoollpr_txm88
        echo "${COMPREPLY[*]}"; }; c() { l "zkpapertoollpr_txm88 $*" "$@"; }
        c --; c -P Q -d Sh; c -P Q -n \"S; c -P Q -w 1 ""; c -P Q --apply f --; c -P Q --r
        l "zkpapertoollpr_txm88 -d a\\\\b:" -d "a\\\\b" :' \
        "$stage/usr/share/bash-completion/completions/zkpapertoollpr_txm88" $completion)
    test "$offered" = "$(printf '%s\n' '--apply --prune --dry-run --repair --list --check --version --help' \
        'Shelf\ labels' 'Shelf labels' '-n -h' '--prune --dry-run' '--repair' 'c')" ||
        fail "the completion offers: $offered"
fi
if ! command -v rpmbuild >/dev/null; then echo "No RPM is built: rpm is not installed"; else
    (cd "$build" && rm -f zkpapertoollpr-*.rpm && cpack -G RPM >/dev/null)
    rpm=$(echo "$build"/zkpapertoollpr-*.rpm)
    # Each entry's mode, owner, size, name and link target, as tar lists them: the RPM
    # holds what the .deb holds and nothing else, but leaves the system's folders
    # (/usr/bin, the manual's) to the system.
    entries() { awk '{ $4 = $5 = ""; print }' | sort; }
    dpkg-deb -c "$deb" | entries >"$lists/deb"
    rpm2archive -n - <"$rpm" | tar -tvf - | entries >"$lists/rpm"
    ! comm -3 "$lists/deb" "$lists/rpm" | grep -v '^d' ||
        fail "the RPM does not hold what the .deb holds (indented: only in the RPM)"
    if [ -z "$unshipped" ]; then
        # What rpmbuild found: the C library, libgcc_s, rpm's own features, and
        # interpreters of scripts that every system has.
        known='^((libc|libm|ld-linux.*)\.so\.[0-9]+|libgcc_s\.so\.1)\(|^(rpmlib|rtld)\('
        other=$(rpm -qp --requires "$rpm" | grep -Ev "$known|^/(usr/)?bin/(sh|bash|python3)\$" ||
                true)
        test -z "$other" || fail "the RPM needs $other"
        if ! command -v rpmlint >/dev/null; then echo "The RPM is not linted: no rpmlint"; else
            rpmlint -s -c "${0%/*}/../packaging/rpmlint.toml" "$rpm" || fail rpmlint; fi
    fi
fi
echo "$# model names packaged"
