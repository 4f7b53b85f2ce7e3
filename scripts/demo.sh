#!/usr/bin/env bash
# The demo: a virtual tool and the local update server on this machine, and a whole update of
# the tool by velmar-cli, as the window runs it. Both processes are stopped whatever happens.
# With --gui the desktop program runs instead: answer its offer, watch the update, then EXIT.
set -euo pipefail

GUI=0
[ "${1:-}" = "--gui" ] && GUI=1
if [ "$GUI" = 1 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "demo --gui: no desktop session here (DISPLAY and WAYLAND_DISPLAY are unset)." >&2
  echo "Run it from a desktop terminal, or use 'make demo' for the command-line demo." >&2
  exit 2
fi

BUILD=${BUILD:-build}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  generator=""
  command -v ninja >/dev/null 2>&1 && generator="-G Ninja"
  cmake -S . -B "$BUILD" $generator -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
PROGRAM=velmar-cli
[ "$GUI" = 1 ] && PROGRAM=velmar
cmake --build "$BUILD" -j "$(nproc)" --target "$PROGRAM" velmar-toolsim velmar-serversim velmar-demo-catalog

CLI=$BUILD/cli/velmar-cli
TOOLSIM=$BUILD/tools/toolsim/velmar-toolsim
SERVERSIM=$BUILD/tools/serversim/velmar-serversim
CATALOG=$BUILD/demo-catalog

WORK=$(mktemp -d "${TMPDIR:-/tmp}/velmar-demo-XXXXXX")
export VELMAR_PORT_DIR=$WORK/ports
mkdir -p -m 700 "$VELMAR_PORT_DIR"  # the program believes only a private port folder
TOOL_PID=""
SERVER_PID=""

stop() {
  [ -n "$TOOL_PID" ] && kill "$TOOL_PID" 2>/dev/null && wait "$TOOL_PID" 2>/dev/null || true
  [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null && wait "$SERVER_PID" 2>/dev/null || true
  TOOL_PID=""
  SERVER_PID=""
}
cleanup() {
  stop
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Waits up to 10 s for a line in a file; prints what follows the prefix.
wait_for_line() {
  local file=$1 prefix=$2
  for _ in $(seq 100); do
    if grep -q "^$prefix" "$file" 2>/dev/null; then
      sed -n "s/^$prefix//p" "$file" | head -n 1
      return 0
    fi
    sleep 0.1
  done
  echo "demo: no \"$prefix\" line in $file:" >&2
  cat "$file" >&2
  return 1
}

echo "== Starting the virtual tool (second register map, adapter \"Ostar RS232 Emulation\")"
"$TOOLSIM" --profile tools/toolsim/profiles/protocol2.json --port 5 --state "$WORK/tool-state.json" \
  --restart-delay-ms 500 --progress-interval-ms 200 >"$WORK/tool.out" 2>"$WORK/tool.err" &
TOOL_PID=$!
echo "   $(wait_for_line "$WORK/tool.out" "")"

echo "== Starting the local update server with the demo catalogue"
"$SERVERSIM" --catalog "$CATALOG" --listen 127.0.0.1:0 --log "$WORK/requests.jsonl" \
  >"$WORK/server.out" 2>"$WORK/server.err" &
SERVER_PID=$!
ADDRESS=$(wait_for_line "$WORK/server.out" "listening on ")
echo "   listening on $ADDRESS"

status=0
if [ "$GUI" = 1 ]; then
  # Settings of the run: automatic detection, no port chosen, no check for a newer Velmar.
  printf '\001\000\000\000\377\377\377\377\000\000\000\000\000\000\000\000' >"$WORK/Velmar.cfg"
  echo "== velmar (the desktop program) with VELMAR_SERVER=$ADDRESS: press EXIT when done"
  (cd "$WORK" && VELMAR_SERVER="$ADDRESS" "$ROOT/$BUILD/desktop/velmar") || status=$?
  echo "== velmar ended with exit code $status"
else
  echo "== velmar-cli update --yes --server $ADDRESS"
  (cd "$WORK" && "$ROOT/$CLI" update --yes --server "$ADDRESS") || status=$?
  echo "== velmar-cli ended with exit code $status"
fi

# Stopping the tool writes its state file.
stop
echo "== The tool's state"
STATE=$WORK/tool-state.json
field() { sed -n "s/^  \"$1\": *\(.*\),\{0,1\}$/\1/p" "$STATE" | sed 's/,$//' | head -n 1; }
echo "   serial number:    $(field serialNumber)"
echo "   software version: $(field softwareVersion)"
echo "   restarts:         $(field restarts)   zone: $(field zone)   country: $(field country)"
echo "   bytes written:    $(field writtenBytes), in these ranges:"
# Each written range: start, end and length, on one line.
tr -d ' \n' <"$STATE" | grep -o '"endHex":"[^"]*","length":[0-9]*,"sha256":"[^"]*","start":[0-9]*,"startHex":"[^"]*"' |
  sed 's/"endHex":"\([^"]*\)","length":\([0-9]*\),.*"startHex":"\([^"]*\)"/     \3 - \1  (\2 bytes)/' || true
echo "== What the server received"
grep '"step":"action"' "$WORK/requests.jsonl" | grep -o '"action":"download_version".*"package":"[^"]*"' |
  sed 's/.*"package":"\([^"]*\)"/   package served: \1/' || true
grep -o '"update":{[^}]*}' "$WORK/requests.jsonl" | sed 's/^"update":/   status report:  /' || true
exit "$status"
