#!/usr/bin/env bash
# The real program under Xvfb: the slideshow text stays in the status bar
# when the pointer passes over a menu entry; no path tooltip over the
# picture; one wheel notch steps one picture; Home and End go to the first
# and the last picture.
BIN_DIR="$1"
SAMPLES="$2"
export QT_QPA_PLATFORM=xcb
. "$(dirname "$0")/e2e_common.sh"

e2e_start_display
trap e2e_stop_display EXIT

P="$(e2e_copy_program "$BIN_DIR")"
PICS="$(mktemp -d)"
cp "$SAMPLES"/* "$PICS/"
printf '[Window]\r\nLeft=40\r\nTop=40\r\nWidth=640\r\nHeight=480\r\n[Tool]\r\nShow=0\r\n' > "$P/orvanto.ini"

"$P/orvanto" "$PICS" /Time=60 /Auto=on >/dev/null 2>&1 &
PID=$!
MAIN="$(e2e_wait_window "$PID")" || { echo "no window"; exit 1; }
sleep 1
xdotool windowfocus --sync "$MAIN" >/dev/null 2>&1 || true

read -r W H <<<"$(xwininfo -id "$MAIN" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w, h }')"
status_bar() { import -window "$MAIN" -crop "200x22+0+$(( H - 22 ))" +repage -depth 8 "$1" 2>/dev/null; }
BEFORE="$(mktemp --suffix=.png)"; AFTER="$(mktemp --suffix=.png)"
status_bar "$BEFORE"
# Open the file menu and move the pointer over its entries.
xdotool key alt+f
sleep 0.5
read -r MX MY <<<"$(xwininfo -id "$MAIN" | awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 } END { print x, y }')"
for dy in 30 50 70 90; do xdotool mousemove $(( MX + 40 )) $(( MY + dy )); sleep 0.2; done
xdotool key Escape
sleep 0.5
xdotool mousemove $(( MX + W - 5 )) $(( MY + 5 ))
sleep 0.5
status_bar "$AFTER"
[ -n "${SHOTS:-}" ] && cp "$BEFORE" "$SHOTS/status_before.png" && cp "$AFTER" "$SHOTS/status_after.png"
same_picture() { [ "$(compare -metric AE "$1" "$2" null: 2>&1 || true)" = "0" ]; }
check "the slideshow text is shown" test "$(compare -metric AE "$BEFORE" xc:'#efefef' null: 2>&1 || true)" != "0"
check "the slideshow text stays after the menu" same_picture "$BEFORE" "$AFTER"

# Stop the slideshow; the pointer rests over the picture.
xdotool key F2
sleep 0.3
windows() { xdotool search --all --onlyvisible --pid "$PID" 2>/dev/null | wc -l; }
N="$(windows)"
xdotool mousemove $(( MX + W / 2 )) $(( MY + H / 2 ))
sleep 0.3
xdotool mousemove $(( MX + W / 2 + 3 )) $(( MY + H / 2 + 2 ))
sleep 2
[ -n "${SHOTS:-}" ] && import -window root "$SHOTS/hover.png"
check "no tooltip over the picture" test "$(windows)" -eq "$N"

T1="ミレット -- [1/4] $PICS/sample1.jpg"
T4="ミレット -- [4/4] $PICS/sample4.gif"
check "the first picture is shown" e2e_wait_title "$MAIN" "$T1"
xdotool key End
check "End goes to the last picture" e2e_wait_title "$MAIN" "$T4"
xdotool key Home
check "Home goes to the first picture" e2e_wait_title "$MAIN" "$T1"
# One notch of the wheel towards the user steps back one picture.
xdotool click 5
check "one wheel notch steps one picture" e2e_wait_title "$MAIN" "$T4"

check "Esc ends the program" e2e_escape "$PID" "$MAIN"
rm -rf "$P" "$PICS" "$BEFORE" "$AFTER"
e2e_finish
