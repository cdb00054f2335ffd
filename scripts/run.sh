#!/usr/bin/env bash
# Sets up, builds, and starts qls-wav against the virtual board, which serves a
# small sample card; the port box is already filled in, so one click on
# "disconnected" connects. Extra arguments go to qls-wav.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh

BOARD_EXE=build/tools/board-sim/qls-wav-board
APP_EXE=build/src/app/qls-wav
DATA="$(mktemp -d "${TMPDIR:-/tmp}/qls-wav-demo.XXXXXX")"
CARD="$DATA/card"
LINK="$DATA/ttyQLS"

"$BOARD_EXE" --make-sample-card "$CARD"
"$BOARD_EXE" --card "$CARD" --link "$LINK" >"$DATA/board.port" 2>"$DATA/board.log" &
BOARD_PID=$!
cleanup() {
  kill "$BOARD_PID" 2>/dev/null || true
  wait "$BOARD_PID" 2>/dev/null || true
  rm -rf "$DATA"
}
trap cleanup EXIT

# The board prints its port once it serves it.
for _ in $(seq 1 50); do
  [ -s "$DATA/board.port" ] && break
  if ! kill -0 "$BOARD_PID" 2>/dev/null; then
    echo "the virtual board did not start:" >&2
    cat "$DATA/board.log" >&2
    exit 1
  fi
  sleep 0.1
done
if [ ! -s "$DATA/board.port" ]; then
  echo "the virtual board printed no port" >&2
  exit 1
fi

echo "virtual board on $LINK ($(head -n1 "$DATA/board.port")); card in $CARD"
echo "click \"disconnected\" in the status bar to connect"
"$APP_EXE" --port "$LINK" "$@"
