#!/bin/sh
# Runs the Ansible module through ansible-playbook on localhost against a sample driver:
# a first run changes it, a second finds nothing to do, a check-mode run changes no byte
# but says what it would change, a bad format fails with the tool's own words.
#   ansible_test.sh SANDBOX_TOOL STAND_IN MAKE_DRIVER_TREE MODULE_DIR
set -eu
command -v ansible-playbook >/dev/null ||
    { echo "ansible-playbook is not installed: Ansible module test skipped"; exit 0; }
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
sh "$3" "$root" "$2" tape:txm88
mkdir "$root/bin" "$root/tmp" && ln -s "$(realpath "$1")" "$root/bin/zkpapertoollpr_txm88"
# The module finds the command on PATH, and the command finds the driver, as installed.
export PATH=$root/bin:$PATH ZK_DRIVER_ROOT=$root ANSIBLE_LIBRARY=$4 \
    ANSIBLE_STDOUT_CALLBACK=oneline ANSIBLE_NOCOLOR=1 ANSIBLE_PYTHON_INTERPRETER=auto_silent \
    ANSIBLE_LOCAL_TEMP=$root/tmp ANSIBLE_REMOTE_TEMP=$root/tmp
fail() { echo "$*"; exit 1; }
ansible-doc -M "$4" zkpapertoollpr >/dev/null || fail "ansible-doc cannot read the module"
cat >"$root/play.yml" <<'EOF'
- hosts: localhost
  connection: local
  gather_facts: false
  tasks:
    - zkpapertoollpr: {model: txm88, printer: TX-M88, formats: "{{ formats }}", prune: true}
EOF
# play FORMATS [OPTION...]: the task's result, on one line
play() {
    formats=$1 && shift
    ansible-playbook -i localhost, -e "{\"formats\": $formats}" "$@" "$root/play.yml" |
        grep '^localhost | ' || true
}
expect() { # expect RESULT WORDS...: the result holds each word
    result=$1 && shift
    for word; do case $result in *"$word"*) ;; *) fail "not '$word' in: $result" ;; esac; done
}
state() { (cd "$root/txm88" && find . -type f | sort | xargs sha256sum); }

wanted='[{"name": "Tag", "width": 12, "length": 50},
         {"name": "A\\B", "width": 22, "length": 100, "media": "zkS24mm"}]'
expect "$(play "$wanted")" "| CHANGED" '"action": "added","name": "Tag"' \
    '"action": "added","name": "A\\\\B"' '"action": "deleted","name": "Shelf labels"'
test "$(zkpapertoollpr_txm88 --list | cut -f1 | sort)" = "$(printf 'A\\\\B\nTag')" ||
    fail "the driver lists: $(zkpapertoollpr_txm88 --list)"
expect "$(play "$wanted")" "| SUCCESS" '"changed": false'

before=$(state)
expect "$(play '[{"name": "Tag", "width": 12, "length": 60}]' --check)" "| CHANGED" \
    '"action": "replaced","name": "Tag"' '"action": "deleted","name": "A\\\\B"'
test "$(state)" = "$before" || fail "the check-mode run changed the driver"

expect "$(play '[{"name": "Tag", "width": 0, "length": 50}]')" "| FAILED" \
    '"msg": "zkpapertoollpr_txm88: '
test "$(state)" = "$before" || fail "the failed run changed the driver"
echo "changed, unchanged, checked without a change, failed with the tool's words"
