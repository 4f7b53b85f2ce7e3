#!/usr/bin/env bash
# The Windows installer under Wine: a silent install, its files and registry entries, the
# installed velmar-cli.exe, then a silent uninstall that removes all of it but the user's file.
#   installer-test.sh <setup.exe> <wine-run>
set -euo pipefail
setup="$1"
wine_run="$2"
: "${WINEPREFIX:?}"
folder="$WINEPREFIX/drive_c/Program Files/Velmar"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Velmar/Velmar.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmar'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
fail() { echo "FAIL: $*" >&2; exit 1; }
# Waits up to 60 s, in 0.2 s steps, for a condition (the uninstaller runs on in a copy of itself).
wait_for() { for _ in $(seq 300); do eval "$1" && return 0; sleep 0.2; done; return 1; }

"$wine_run" "$setup" /S || fail "the installer failed"
wait_for '[ -f "$folder/uninstall.exe" ]' || fail "no uninstaller"
for file in velmar.exe velmar-cli.exe uninstall.exe; do
  [ -f "$folder/$file" ] || fail "$file not installed"
done
[ -f "$menu" ] || fail "no Start-menu entry"
"$wine_run" reg query "$uninstall_key" /v DisplayName | grep -q Velmar || fail "no Apps and features entry"
"$wine_run" reg query "$uninstall_key" /v UninstallString | grep -q 'uninstall.exe' || fail "no uninstall command"
"$wine_run" reg query "$run_key" /v Velmar | grep -q 'velmar.exe" /tray' || fail "no autostart in the tray"

help="$("$wine_run" "$folder/velmar-cli.exe" --help)" || fail "the installed velmar-cli.exe --help failed"
grep -q 'usage: velmar-cli' <<<"$help" || fail "unexpected help: $help"

# The user's settings beside the program stay after the uninstall.
printf '\1\0\0\0\377\377\377\377\1\0\0\0\0\0\0\0' >"$folder/Velmar.cfg"
"$wine_run" "$folder/uninstall.exe" /S || fail "the uninstaller failed"
wait_for '[ ! -e "$folder/velmar.exe" ] && [ ! -e "$folder/uninstall.exe" ]' || fail "files left behind"
[ ! -e "$folder/velmar-cli.exe" ] || fail "velmar-cli.exe left behind"
[ -f "$folder/Velmar.cfg" ] || fail "the user's Velmar.cfg was removed"
[ ! -e "$menu" ] || fail "Start-menu entry left behind"
if "$wine_run" reg query "$uninstall_key" >/dev/null 2>&1; then fail "Apps and features entry left behind"; fi
if "$wine_run" reg query "$run_key" /v Velmar >/dev/null 2>&1; then fail "autostart entry left behind"; fi
rm -rf "$folder"
echo "installer: installed, ran and uninstalled"
