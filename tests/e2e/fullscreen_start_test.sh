#!/usr/bin/env bash
# Starts of the real program under Xvfb with the switches a shortcut
# writes: /Full=on shows the full-screen window alone (the main window is
# not mapped) and stores one history list, also with the toolbox open;
# /Auto=on switches the organizing controls off exactly as F2 does.
BIN_DIR="$1"
SAMPLES="$2"
export QT_QPA_PLATFORM=xcb
. "$(dirname "$0")/e2e_common.sh"

e2e_start_display
trap e2e_stop_display EXIT
# With a window manager when there is one: it maps what the program asks for.
e2e_start_wm || true

P="$(e2e_copy_program "$BIN_DIR")"
PICS="$(mktemp -d)"
cp "$SAMPLES"/* "$PICS/"
printf '[Window]\r\nListMax=5\r\n[Tool]\r\nShow=1\r\nLeft=900\r\nTop=30\r\n' > "$P/orvanto.ini"

# mapped WID -> 0 when the window is mapped (viewable)
mapped() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }

"$P/orvanto" "$PICS" /Full=on >/dev/null 2>&1 &
PID=$!
e2e_wait_window "$PID" >/dev/null || { echo "no window"; ps -p "$PID"; exit 1; }
sleep 2
# The main window's caption names the picture; the full-screen window's
# does not.
MAIN="$(xdotool search --pid "$PID" --name '^ミレット -- ' 2>/dev/null | head -1 || true)"
check "the main window exists" test -n "$MAIN"
FULL=""
for w in $(xdotool search --onlyvisible --pid "$PID" 2>/dev/null); do
  read -r W H <<<"$(xwininfo -id "$w" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w, h }')"
  [ "$W" = 1280 ] && [ "$H" = 900 ] && FULL="$w"
done
check "/Full=on shows the full-screen window" test -n "$FULL"
check "/Full=on leaves the main window unmapped" bash -c "! xwininfo -id '$MAIN' | grep -q 'Map State: IsViewable'"
[ -n "${SHOTS:-}" ] && import -window root "$SHOTS/full_start.png"
xdotool windowfocus --sync "$FULL" >/dev/null 2>&1 || true
check "Esc ends the program" e2e_escape "$PID" "$FULL"
check "one history list was stored" test "$(ls "$P"/ov*.lst 2>/dev/null | wc -l)" -eq 1

# /Auto=on: the toolbox as at the start of the slideshow, and as after F2
# stops it and F2 starts it again. One picture, so nothing steps.
ONE="$(mktemp -d)"
cp "$SAMPLES/sample1.jpg" "$ONE/"
printf '[Tool]\r\nShow=1\r\nLeft=900\r\nTop=30\r\n' > "$P/orvanto.ini"
rm -f "$P"/ov*.lst
"$P/orvanto" "$ONE" /Time=30 /Auto=on >"$P/auto.log" 2>&1 &
PID=$!
e2e_wait_window "$PID" >/dev/null || { echo "no window"; cat "$P/auto.log"; wait "$PID"; echo "exit status $?"; exit 1; }
MAIN="$(E2E_WINDOW_TRIES=300 e2e_window_named "$PID" '^ミレット -- ')"
TOOL="$(E2E_WINDOW_TRIES=300 e2e_window_named "$PID" '^Tool Box$')" || { echo "no toolbox window"; cat "$P/auto.log"; exit 1; }
sleep 1
# The toolbox's controls below the track bar: check boxes, display form,
# play order, rename, delete, undo, drag-out, copy/move and the buttons.
toolbox_controls() { timeout 20 import -window "$TOOL" -crop 122x300+0+80 +repage -depth 8 "$1" 2>/dev/null; }
AT_START="$(mktemp --suffix=.png)"; AFTER_F2="$(mktemp --suffix=.png)"
toolbox_controls "$AT_START"
xdotool windowfocus --sync "$MAIN" >/dev/null 2>&1 || true
sleep 0.2
xdotool key F2
sleep 0.5
xdotool key F2
sleep 1
toolbox_controls "$AFTER_F2"
[ -n "${SHOTS:-}" ] && cp "$AT_START" "$SHOTS/auto_at_start.png" && cp "$AFTER_F2" "$SHOTS/auto_after_f2.png"
same_picture() { [ "$(compare -metric AE "$1" "$2" null: 2>&1 || true)" = "0" ]; }
check "/Auto=on disables the organizing controls as F2 does" same_picture "$AT_START" "$AFTER_F2"
check "Esc ends the program" e2e_escape "$PID" "$MAIN"

rm -rf "$P" "$PICS" "$ONE" "$AT_START" "$AFTER_F2"
e2e_finish
