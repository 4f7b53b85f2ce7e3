#!/usr/bin/env bash
# Creates (or brings up to date) the build's Wine prefix; the tests that run under Wine wait
# for it.
set -euo pipefail
export WINEPREFIX="$1"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=
mkdir -p "$WINEPREFIX"
wineboot -i >/dev/null 2>&1 || wineboot -u >/dev/null 2>&1
# COM5 as Wine's own port configuration has it, so that Windows lists it as a present port.
# Its device is whatever the link com5-target names: the tests point it at a virtual tool.
wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$WINEPREFIX/com5-target" /f >/dev/null 2>&1
wineserver -k || true
wineserver -w
test -d "$WINEPREFIX/dosdevices"
