#!/usr/bin/env bash
# Starts the real program under Xvfb, closes it with Esc and checks the INI
# file it wrote.
BIN_DIR="$1"
SAMPLES="$2"
. "$(dirname "$0")/e2e_common.sh"

e2e_start_display
trap e2e_stop_display EXIT

# run_and_escape FOLDER ARGS... : start, wait for the window, press Esc.
run_and_escape() {
  local folder="$1"; shift
  "$folder/orvanto" "$@" >/dev/null 2>&1 &
  local pid=$!
  local wid
  if ! wid="$(e2e_wait_window "$pid")"; then
    echo "no window appeared"; kill "$pid" 2>/dev/null || true; return 1
  fi
  sleep 0.5
  xdotool windowactivate --sync "$wid" >/dev/null 2>&1 || xdotool windowfocus "$wid" >/dev/null 2>&1 || true
  xdotool key --window "$wid" Escape 2>/dev/null || true
  e2e_wait_exit "$pid" 15
}

# First run: every key written with its default.
P1="$(e2e_copy_program "$BIN_DIR")"
check "first run starts and closes with Esc" run_and_escape "$P1"
INI="$P1/orvanto.ini"
check "first run writes orvanto.ini beside the program" test -f "$INI"
check "default Interval=2" test "$(ini_value "$INI" Option Interval)" = "2"
check "default IntervalM=0" test "$(ini_value "$INI" Option IntervalM)" = "0"
check "default nButton=5" test "$(ini_value "$INI" Option nButton)" = "5"
check "default Copy=1" test "$(ini_value "$INI" Option Copy)" = "1"
check "default Open=1" test "$(ini_value "$INI" Option Open)" = "1"
check "default Folder1=none" test "$(ini_value "$INI" Option Folder1)" = "none"
check "default Button5=none" test "$(ini_value "$INI" Option Button5)" = "none"
check "default Tool State=0" test "$(ini_value "$INI" Tool State)" = "0"
check "default ShortCut Repeat=-1" test "$(ini_value "$INI" ShortCut Repeat)" = "-1"
check "default SameBox Width=500" test "$(ini_value "$INI" SameBox Width)" = "500"
check "default Window State=0" test "$(ini_value "$INI" Window State)" = "0"

# Started with /Repeat=Exit: nothing written.
P2="$(e2e_copy_program "$BIN_DIR")"
check "run with /Repeat=Exit closes with Esc" run_and_escape "$P2" "$SAMPLES" /Repeat=Exit
check "nothing written after /Repeat=Exit" test ! -e "$P2/orvanto.ini"

# Started with /Time=2.5 alone: the interval is written back.
P3="$(e2e_copy_program "$BIN_DIR")"
check "run with /Time=2.5 closes with Esc" run_and_escape "$P3" /Time=2.5
check "Interval=2 after /Time=2.5" test "$(ini_value "$P3/orvanto.ini" Option Interval)" = "2"
check "IntervalM=500 after /Time=2.5" test "$(ini_value "$P3/orvanto.ini" Option IntervalM)" = "500"

rm -rf "$P1" "$P2" "$P3"
e2e_finish
