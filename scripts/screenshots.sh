#!/usr/bin/env bash
# Takes screenshots of the viewer in its display forms under Xvfb:
# single page, both spreads in both orientations, full screen and the
# "表示不可" label. Usage: scripts/screenshots.sh [BIN_DIR] [OUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$(pwd)"
BIN_DIR="${1:-$ROOT/build/bin}"
OUT="${2:-$ROOT/build/screenshots}"
mkdir -p "$OUT"
. "$ROOT/tests/e2e/e2e_common.sh"
e2e_start_display
trap e2e_stop_display EXIT

PICS="$(mktemp -d)"
cp "$ROOT"/samples/* "$PICS/"
printf 'this is not a picture' > "$PICS/sample2b.png"   # undecodable, sorts after sample2.png

shot() { # NAME STATE ORIENT [ARGS...]
  local name="$1" state="$2" orient="$3"; shift 3
  local P; P="$(e2e_copy_program "$BIN_DIR")"
  printf '[Window]\r\nLeft=0\r\nTop=0\r\nWidth=640\r\nHeight=420\r\n[Tool]\r\nShow=0\r\nState=%s\r\nOrient=%s\r\n' \
    "$state" "$orient" > "$P/orvanto.ini"
  "$P/orvanto" "$PICS" "$@" >/dev/null 2>&1 &
  local pid=$! wid
  wid="$(e2e_wait_window "$pid")" || { echo "no window for $name"; return 1; }
  sleep 1
  for k in "${KEYS[@]:-}"; do [ -n "$k" ] && xdotool key --window "$wid" "$k" 2>/dev/null; sleep 0.4; done
  sleep 0.5
  wid="$(xdotool search --onlyvisible --pid "$pid" | tail -1)"
  import -window "$wid" "$OUT/$name.png"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  rm -rf "$P"
  echo "$OUT/$name.png"
}

KEYS=();            shot single-page 0 0
KEYS=(Right);       shot spread-odd-ltr 1 0
KEYS=(Right);       shot spread-odd-rtl 1 1
KEYS=();            shot spread-even-ltr 2 0
KEYS=(Right Right); shot spread-even-rtl 2 1
KEYS=();            shot fullscreen 0 0 /Full=on
rm -rf "$PICS"
