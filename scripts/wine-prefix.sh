#!/usr/bin/env bash
# Creates the build's Wine prefix once; the tests that run under Wine wait for it.
set -euo pipefail
export WINEPREFIX="$1"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=
if grep -qs 'com5-target' "$WINEPREFIX/system.reg"; then
  exit 0
fi
mkdir -p "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
# COM5 as Wine's own port configuration has it, so that Windows lists it as a present port.
# Its device is whatever the link com5-target names: the tests point it at a virtual tool.
wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$WINEPREFIX/com5-target" /f >/dev/null 2>&1
# The ports are made when the server starts: stop it, and wait until the registry is written.
wineserver -k || true
wineserver -w
grep -qs 'com5-target' "$WINEPREFIX/system.reg"
