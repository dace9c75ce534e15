#!/usr/bin/env bash
# A HotSync and the commands without windows load no Qt: only the dialogs'
# library needs it, and only setup and configure open it.
#   no_qt_test.sh <bin folder> <source folder>
set -euo pipefail
bin=$1
source=$2
pelorix=$bin/pelorix
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Runs a command and keeps the dynamic loader's account of what it loaded,
# that of any process it starts included.
run() {
  rm -f "$work"/ld.*
  LD_DEBUG=libs LD_DEBUG_OUTPUT=$work/ld "$@" >"$work/out" 2>"$work/err" || fail "$* failed: $(cat "$work/err")"
  cat "$work"/ld.* >"$work/loaded"
}
withoutQt() {
  if grep -q 'libQt6' "$work/loaded"; then fail "$* loads Qt: $(grep -o 'library=libQt6[^ ]*' "$work/loaded" | sort -u | xargs)"; fi
}

# The probe must see Qt where it is.
# Read whole first: grep -q would stop at its match and, under pipefail, fail
# the pipeline when ldd is cut off writing the rest.
ldd "$bin/libpelorix_dialogs.so" >"$work/ldd"
grep -q 'libQt6Widgets' "$work/ldd" || fail "the dialogs' library does not use Qt Widgets"

export PELORIX_CONFIG_DIR=$work/config
printf 'Buy milk\0' >"$work/memo"
run "$pelorix" record memo to-host --readable <"$work/memo"
[ "$(cat "$work/out")" = "]0]0]0]0]0]Buy milk]" ] || fail "record printed $(cat "$work/out")"
withoutQt pelorix record

run "$pelorix" hotsync --help
withoutQt pelorix hotsync --help

cp -r "$source/samples/handheld" "$work/handheld"
cp -r "$source/samples/host" "$work/host"
"$pelorix" config set Connection OSType 3
"$pelorix" config set Connection AccountName "$work/host"
"$pelorix" config set MemoPad mvProgName SYNC.MEMOS
run "$pelorix" register memo
withoutQt pelorix register

run "$pelorix" hotsync "$work/handheld"
grep -q 'pelx\.so' "$work/loaded" || fail "the HotSync did not load the component"
grep -q 'mvhost\.so' "$work/loaded" || fail "the HotSync did not load the host connector"
withoutQt pelorix hotsync

run "$pelorix" mv list "$work/host" MEMO.PAD
[ -s "$work/out" ] || fail "the HotSync left the host no memos"
withoutQt pelorix mv list

run "$pelorix" config show
withoutQt pelorix config show

run "$pelorix" show --json "$work/handheld/MemoDB.pdb"
withoutQt pelorix show
echo "no Qt loaded"
