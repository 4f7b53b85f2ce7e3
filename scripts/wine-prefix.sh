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
wineserver -w
test -d "$WINEPREFIX/dosdevices"
