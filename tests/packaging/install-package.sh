#!/usr/bin/env bash
# install-package.sh <cpack> <build dir>
# Builds the Debian package, installs it into this machine's system the way a user would
# (apt-get), runs what it installed, purges it and checks that nothing of it is left.
# Needs root; exits 77 (skipped) without it.
set -euo pipefail
cpack=$1 build=$2

if [ "$(id -u)" -ne 0 ]; then echo "not root: the package is not installed"; exit 77; fi
if dpkg-query -W -f='${Status}' velmar 2>/dev/null | grep -q 'installed'; then
  echo "a velmar package is installed already; not touching it"; exit 77
fi

work=$(mktemp -d)
installed=0
cleanup() {
  [ "$installed" -eq 1 ] && apt-get purge -y -qq velmar >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" ||
  { cat "$work/cpack.log"; exit 1; }
debs=("$work"/velmar_*_amd64.deb)
[ -f "${debs[0]}" ] || { echo "FAIL: no velmar_<version>_amd64.deb"; exit 1; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
apt=(apt-get -y -qq --no-install-recommends -o DPkg::Lock::Timeout=120)

installed=1
DEBIAN_FRONTEND=noninteractive "${apt[@]}" install "${debs[0]}" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; exit 1; }
dpkg-query -L velmar >"$work/files"

for file in /usr/bin/velmar /usr/bin/velmar-cli /usr/lib/udev/rules.d/70-velmar-tool.rules \
            /etc/xdg/autostart/velmar.desktop /usr/share/applications/velmar.desktop \
            /usr/share/icons/hicolor/scalable/apps/velmar.svg /usr/share/doc/velmar/copyright \
            /usr/share/man/man1/velmar.1.gz /usr/share/man/man1/velmar-cli.1.gz; do
  grep -qx "$file" "$work/files" && [ -s "$file" ] || fail "$file is not installed"
done
for program in /usr/bin/velmar /usr/bin/velmar-cli; do
  if ldd "$program" | grep -q 'not found'; then fail "$program misses a library"; fi
done
# The login start runs the program with an argument: it comes up in the tray.
grep -qx 'Exec=velmar --tray' /etc/xdg/autostart/velmar.desktop || fail "autostart entry lacks --tray"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate /etc/xdg/autostart/velmar.desktop || fail "autostart entry is not valid"
fi
grep -qx '/etc/xdg/autostart/velmar.desktop' <(dpkg-query --control-show velmar conffiles | cut -d' ' -f2) ||
  fail "the autostart entry is not a conffile"

/usr/bin/velmar-cli --help >"$work/help" || fail "velmar-cli --help exits with $?"
grep -q '^  ports' "$work/help" || fail "velmar-cli --help lists no ports command"
VELMAR_PORT_DIR=$work/ports /usr/bin/velmar-cli ports >"$work/ports.out" 2>&1 ||
  fail "velmar-cli ports exits with $?: $(cat "$work/ports.out")"

DEBIAN_FRONTEND=noninteractive "${apt[@]}" purge velmar >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt-get purge failed"; }
installed=0
if dpkg-query -W -f='${Status}' velmar 2>/dev/null | grep -qv 'not-installed'; then
  fail "dpkg still knows velmar: $(dpkg-query -W -f='${Status}' velmar)"
fi
while IFS= read -r path; do
  [ -d "$path" ] && continue  # shared folders such as /usr/bin stay
  [ -e "$path" ] || [ -L "$path" ] && fail "$path is left after the purge"
done <"$work/files"
[ -e /etc/xdg/autostart/velmar.desktop ] && fail "the autostart entry is left after the purge"

[ "$failures" -eq 0 ] && echo "package installed, ran and purged cleanly"
exit "$failures"
