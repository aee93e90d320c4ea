#!/usr/bin/env bash
# An unset destination is never a folder: started from a folder that holds a
# subfolder "none", the digit of an unset button in move mode leaves the
# picture where it is and says that there is no destination folder.
BIN_DIR="$1"
SAMPLES="$2"
. "$(dirname "$0")/e2e_common.sh"

e2e_start_display
trap e2e_stop_display EXIT

P="$(e2e_copy_program "$BIN_DIR")"
WORK="$(mktemp -d)"
PICS="$WORK/pics"
mkdir -p "$PICS" "$WORK/none"
cp "$SAMPLES/sample1.jpg" "$PICS/a.jpg"
cp "$SAMPLES/sample2.png" "$PICS/b.png"
# Move mode, five buttons, none of them set; no toolbox.
printf '[Option]\nCopy=0\nnButton=5\n[Tool]\nShow=0\n' > "$P/orvanto.ini"

wait_title() {
  local name=""
  for _ in $(seq 80); do
    name="$(xdotool getwindowname "$1" 2>/dev/null || true)"
    [ "$name" = "$2" ] && return 0
    sleep 0.1
  done
  echo "  title is: $name" >&2
  return 1
}

# wait_box PID MAIN_WID: a second visible window of the program (the error box)
wait_box() {
  local main="$2" w
  for _ in $(seq 80); do
    for w in $(xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
      [ "$w" != "$main" ] && { echo "$w"; return 0; }
    done
    sleep 0.1
  done
  return 1
}

press() {
  local wid="$1"; shift
  xdotool windowfocus --sync "$wid" >/dev/null 2>&1 || true
  sleep 0.2
  xdotool key --clearmodifiers "$@"
}

(cd "$WORK" && exec "$P/orvanto" pics) >/dev/null 2>&1 &
PID=$!
WID="$(e2e_wait_window "$PID")" || { echo "no window"; exit 1; }
sleep 0.5
check "first image shown" wait_title "$WID" "ミレット -- [1/2] $PICS/a.jpg"

press "$WID" 3
BOX="$(wait_box "$PID" "$WID" || true)"
check "an error box says there is no destination folder" test -n "$BOX"
if [ -n "$BOX" ]; then
  press "$BOX" Return
  sleep 0.5
fi
check "the picture was not moved into ./none" test -z "$(ls -A "$WORK/none")"
check "the picture stays in its folder" test -f "$PICS/a.jpg"
check "the same image is still shown" wait_title "$WID" "ミレット -- [1/2] $PICS/a.jpg"

press "$WID" Escape
check "the program ends with Esc" e2e_wait_exit "$PID" 15
check "the unset destination stays unset" test "$(ini_value "$P/orvanto.ini" Option Folder4)" = "none"

kill "$PID" 2>/dev/null || true
rm -rf "$P" "$WORK"
e2e_finish
