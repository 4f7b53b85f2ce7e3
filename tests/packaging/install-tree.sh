#!/usr/bin/env bash
# install-tree.sh <cmake> <build dir> <udev rules dir> with-desktop|without-desktop
# Installs the build for /usr into a temporary staging directory and checks what landed there.
set -euo pipefail
cmake=$1 build=$2 udev_dir=$3 desktop=$4
staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT

# DESTDIR keeps an absolute udev directory (/etc/udev/rules.d) inside the staging tree too.
DESTDIR=$staging "$cmake" --install "$build" --prefix /usr >/dev/null
prefix=$staging/usr
[[ $udev_dir == /* ]] && udev_dir=../${udev_dir#/}

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

expect_file() { [ -s "$prefix/$1" ] || fail "$1 is missing"; }
expect_file bin/velmar-cli
[ -x "$prefix/bin/velmar-cli" ] || fail "bin/velmar-cli is not executable"
if [ "$desktop" = with-desktop ]; then
  [ -x "$prefix/bin/velmar" ] || fail "bin/velmar is missing"
  # Starts in the tray at login: the program is given an argument.
  grep -qx 'Exec=velmar --tray' "$staging/etc/xdg/autostart/velmar.desktop" ||
    fail "no autostart entry starting velmar --tray"
fi
expect_file share/applications/velmar.desktop
expect_file share/icons/hicolor/scalable/apps/velmar.svg
rules=$prefix/$udev_dir/70-velmar-tool.rules
expect_file "$udev_dir/70-velmar-tool.rules"

if [ -f "$rules" ]; then
  # Every active line hands the port to the seat's user, and none opens it to everyone.
  active=$(grep -v '^[[:space:]]*\(#\|$\)' "$rules" || true)
  [ -n "$active" ] || fail "the udev rule has no active line"
  while IFS= read -r line; do
    [[ $line == *'SUBSYSTEM=="tty"'* ]] || fail "not limited to tty devices: $line"
    [[ $line == *'TAG+="uaccess"'* ]] || fail "no uaccess: $line"
    [[ $line == *'ATTRS{product}=="'* ]] || fail "not matched by product: $line"
  done <<<"$active"
  if grep -q 'MODE=\|GROUP=\|OWNER=' <<<"$active"; then fail "the rule sets MODE, GROUP or OWNER"; fi
  for adapter in "Ostar RS232 Emulation" "Broad Elm USB to Serial Ports"; do
    grep -qF "$adapter" <<<"$active" || fail "no line for the adapter \"$adapter\""
  done
fi

entry=$prefix/share/applications/velmar.desktop
if [ -f "$entry" ]; then
  for key in 'Name=Velmar' 'Exec=velmar' 'Icon=velmar' 'Type=Application'; do
    grep -qx "$key" "$entry" || fail "desktop entry lacks $key"
  done
  grep -q '^Categories=.*Utility;' "$entry" || fail "desktop entry lacks the Utility category"
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$entry" || fail "desktop-file-validate rejects the entry"
  fi
fi

[ "$failures" -eq 0 ] && echo "installed tree is complete"
exit "$failures"
