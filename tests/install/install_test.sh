#!/usr/bin/env bash
# Installs the build into a fresh prefix and HotSyncs a copy of the sample
# handheld with the installed program alone.
#   install_test.sh <build folder> <source folder>
set -euo pipefail

build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
pelorix=$prefix/bin/pelorix

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || {
  cat "$work/install.log"
  fail "cmake --install did not complete"
}

echo "== layout"
for file in bin/pelorix lib/pelorix/pelx.so lib/pelorix/mvhost.so lib/pelorix/qmclient.so \
  share/doc/pelorix/subroutine-guide.md share/applications/pelorix-setup.desktop \
  share/icons/hicolor/scalable/apps/pelorix.svg; do
  [ -f "$prefix/$file" ] || fail "$file is not installed"
done
[ -x "$pelorix" ] || fail "bin/pelorix cannot be run"
[ ! -e "$prefix/bin/pelx.so" ] || fail "the component lies in bin/"
entry=$prefix/share/applications/pelorix-setup.desktop
grep -qx 'Name=Conduit Setup' "$entry" || fail "the desktop entry is not named Conduit Setup"
grep -qx "Exec=\"$pelorix\" setup" "$entry" || fail "the desktop entry does not start the installed pelorix setup"
grep -qx 'Icon=pelorix' "$entry" || fail "the desktop entry names another icon"

echo "== nothing installed looks into the build folder"
for elf in "$pelorix" "$prefix"/lib/pelorix/*.so; do
  if readelf -d "$elf" | grep -E 'R(UN)?PATH' | grep -F "$build" >/dev/null; then
    fail "$elf searches the build folder: $(readelf -d "$elf" | grep -E 'R(UN)?PATH')"
  fi
  libraries=$(ldd "$elf")
  if grep -F "$build" <<<"$libraries"; then fail "$elf loads libraries from the build folder"; fi
  if grep 'not found' <<<"$libraries"; then fail "$elf misses libraries"; fi
  for library in $(sed -n 's/^.*libpelorix_.* => \(.*\) (0x.*$/\1/p' <<<"$libraries"); do
    [ "$(dirname "$(realpath "$library")")" = "$(realpath "$prefix/lib/pelorix")" ] ||
      fail "$elf loads $library from outside lib/pelorix"
  done
done

echo "== a HotSync from the installed program"
cp -r "$source/samples/handheld" "$work/handheld"
cp -r "$source/samples/host" "$work/host"
export PELORIX_CONFIG_DIR=$work/config
cd "$work"
"$pelorix" config set Connection OSType 3
"$pelorix" config set Connection AccountName "$work/host"
"$pelorix" config set MemoPad mvProgName SYNC.MEMOS
"$pelorix" register memo
"$pelorix" hotsync "$work/handheld" || fail "the HotSync exited with status $?"

settings=$PELORIX_CONFIG_DIR/settings.reg
grep -qF "$prefix/lib/pelorix/pelx.so" "$settings" || fail "the installed component is not the one registered"
grep -qF "$prefix/lib/pelorix/mvhost.so" "$settings" || fail "the installed host connector is not the one registered"
if grep -F "$build" "$settings"; then fail "the settings name the build folder"; fi

memos=$("$pelorix" show "$work/handheld/MemoDB.pdb")
echo "$memos"
grep -q 'Warehouse checklist' <<<"$memos" || fail "the host's memo did not arrive on the handheld"
echo "PASS"
