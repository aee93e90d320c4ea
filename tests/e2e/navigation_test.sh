#!/usr/bin/env bash
# Starts the real program on a folder under Xvfb, steps through it with keys,
# reads the window title and checks the history list it stored.
BIN_DIR="$1"
SAMPLES="$2"
. "$(dirname "$0")/e2e_common.sh"

e2e_start_display
trap e2e_stop_display EXIT

P="$(e2e_copy_program "$BIN_DIR")"
PICS="$(mktemp -d)"
cp "$SAMPLES"/* "$PICS/"
# Sorted case-insensitively: sample1.jpg, sample2.png, sample3.bmp, sample4.gif
FIRST="$PICS/sample1.jpg"

"$P/orvanto" "$PICS" >/dev/null 2>&1 &
PID=$!
WID="$(e2e_wait_window "$PID")" || { echo "no window"; exit 1; }
sleep 0.5
title() { xdotool getwindowname "$WID"; }
press() { xdotool key --window "$WID" "$1" 2>/dev/null || true; sleep 0.3; }

check "title shows the first picture" test "$(title)" = "ミレット -- [1/4] $FIRST"
press Right
check "Right steps forward" test "$(title)" = "ミレット -- [2/4] $PICS/sample2.png"
press Return
check "Enter steps forward" test "$(title)" = "ミレット -- [3/4] $PICS/sample3.bmp"
press Left
press Left
press Left
check "Left wraps round to the last" test "$(title)" = "ミレット -- [4/4] $PICS/sample4.gif"
press Next
check "Page Down wraps to the first" test "$(title)" = "ミレット -- [1/4] $FIRST"

LST="$P/ov1.lst"
check "the list was stored as ov1.lst" test -f "$LST"
EXPECTED="$(printf '%s\r\n' "$PICS/sample1.jpg" "$PICS/sample2.png" "$PICS/sample3.bmp" "$PICS/sample4.gif")"
check "ov1.lst holds the list in order with CR LF" test "$(cat "$LST")" = "$EXPECTED"

press Escape
check "Esc ends the program" e2e_wait_exit "$PID" 15
check "ListMax=1 written" test "$(ini_value "$P/orvanto.ini" Window ListMax)" = "1"

rm -rf "$P" "$PICS"
e2e_finish
