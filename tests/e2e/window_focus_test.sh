#!/usr/bin/env bash
# The program's windows on a desktop with a window manager (Xvfb and
# openbox): on a first start the toolbox's title bar is on the screen and
# the toolbox stands beside the main window; the program's own dialogs
# stand above the toolbox; F1 gives the help viewer the keyboard, so Esc
# closes the help and leaves the program running.
BIN_DIR="$1"
SAMPLES="$2"
export QT_QPA_PLATFORM=xcb
. "$(dirname "$0")/e2e_common.sh"

command -v openbox >/dev/null 2>&1 || { echo "SKIP: no window manager (openbox) installed"; exit 77; }
command -v xprop >/dev/null 2>&1 || { echo "SKIP: xprop (x11-utils) not installed"; exit 77; }
e2e_start_display
trap e2e_stop_display EXIT
e2e_start_wm || { echo "SKIP: the window manager did not start"; exit 77; }

P="$(e2e_copy_program "$BIN_DIR")"
PICS="$(mktemp -d)"
cp "$SAMPLES/sample1.jpg" "$SAMPLES/sample2.png" "$PICS/"
# A first start: no settings file at all.
"$P/orvanto" "$PICS" >/dev/null 2>&1 &
PID=$!
e2e_wait_window "$PID" >/dev/null || { echo "no window"; exit 1; }
MAIN="$(e2e_window_named "$PID" '^ミレット -- ')"
TOOL="$(e2e_window_named "$PID" '^Tool Box$')"
check "the main window and the toolbox are up" test -n "$MAIN" -a -n "$TOOL"
sleep 1

# frame WID -> "left top right bottom" of the window with its frame (the
# client's place on the screen less the frame the window manager added)
frame() {
  local x y w h l r t b
  x="$(xwininfo -id "$1" | awk '/Absolute upper-left X/ { print $4 }')"
  y="$(xwininfo -id "$1" | awk '/Absolute upper-left Y/ { print $4 }')"
  w="$(xwininfo -id "$1" | awk '/Width:/ { print $2 }')"
  h="$(xwininfo -id "$1" | awk '/Height:/ { print $2 }')"
  read -r l r t b <<<"$(xprop -id "$1" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')"
  echo "$(( x - ${l:-0} )) $(( y - ${t:-0} )) $(( x + w + ${r:-0} )) $(( y + h + ${b:-0} ))"
}
read -r TL TT TR TB <<<"$(frame "$TOOL")"
read -r ML MT MR MB <<<"$(frame "$MAIN")"
echo "toolbox frame: $TL $TT $TR $TB; main frame: $ML $MT $MR $MB"
[ -n "${SHOTS:-}" ] && import -window root "$SHOTS/first_start.png"
check "the toolbox's title bar is on the screen" test "$TT" -ge 0 -a "$TL" -ge 0 -a "$TR" -le 1280
check "the toolbox stands beside the main window" test "$TL" -ge "$MR" -o "$TR" -le "$ML"

# stacked_above A B: A is higher than B in the window manager's stacking.
stacked_above() {
  local list a b i=0 pa=-1 pb=-1
  list="$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g')"
  a="$(printf '0x%x' "$1")"; b="$(printf '0x%x' "$2")"
  for w in $list; do
    [ "$(( w ))" -eq "$(( a ))" ] && pa=$i
    [ "$(( w ))" -eq "$(( b ))" ] && pb=$i
    i=$(( i + 1 ))
  done
  echo "stacking: dialog at $pa, toolbox at $pb"
  [ "$pa" -gt "$pb" ] && [ "$pb" -ge 0 ]
}
xdotool windowactivate --sync "$MAIN" >/dev/null 2>&1 || true
sleep 0.3
xdotool key ctrl+b
RN="$(e2e_window_named "$PID" '^画像ファイル名変更$')" || true
check "Ctrl+B asks for the new name" test -n "$RN"
sleep 0.5
[ -n "${SHOTS:-}" ] && import -window root "$SHOTS/rename_over_toolbox.png"
check "the rename prompt stands above the toolbox" stacked_above "$RN" "$TOOL"
xdotool key Escape
sleep 0.5
xdotool windowactivate --sync "$MAIN" >/dev/null 2>&1 || true
sleep 0.3
xdotool key ctrl+f
BF="$(e2e_window_named "$PID" '^フォルダ選択$')" || true
check "Ctrl+F opens the folder dialog" test -n "$BF"
sleep 0.5
check "the folder dialog stands above the toolbox" stacked_above "$BF" "$TOOL"
xdotool key Escape
sleep 0.5

# F1, then Esc where the keyboard is.
xdotool windowactivate --sync "$MAIN" >/dev/null 2>&1 || true
sleep 0.3
xdotool key F1
HELP="$(e2e_window_named "$PID" '^ヘルプ')" || true
check "F1 opens the help" test -n "$HELP"
sleep 1
xdotool key Escape
sleep 1
check "Esc closes the help" test -z "$(xdotool search --all --onlyvisible --pid "$PID" --name '^ヘルプ' 2>/dev/null)"
check "the program is still running" kill -0 "$PID"

check "Esc ends the program" e2e_escape "$PID" "$MAIN"
rm -rf "$P" "$PICS"
e2e_finish
