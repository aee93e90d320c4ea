#!/usr/bin/env bash
# Every menu shortcut in full screen, with the real program under Xvfb: F4
# enters and leaves full screen, and F2, F3, F7-F9, Ctrl+C, Ctrl+Z, Ctrl+O and
# Ctrl+Q act while only the full-screen window is shown, as in the window.
BIN_DIR="$1"
SAMPLES="$2"
. "$(dirname "$0")/e2e_common.sh"

command -v xclip >/dev/null || { echo "SKIP: xclip is missing"; exit 77; }

e2e_start_display
trap e2e_stop_display EXIT

P="$(e2e_copy_program "$BIN_DIR")"
WORK="$(mktemp -d)"
PICS="$WORK/pictures"
DEST="$WORK/sorted"
mkdir -p "$PICS" "$DEST"
cp "$SAMPLES"/* "$PICS/"
# Sorted: sample1.jpg, sample2.png, sample3.bmp, sample4.gif
S1="$PICS/sample1.jpg"; S2="$PICS/sample2.png"; S3="$PICS/sample3.bmp"; S4="$PICS/sample4.gif"
# Move mode into one destination; a slideshow of 0.3 s.
printf '[Option]\nFolder1=%s\nButton1=sorted\nCopy=0\nInterval=0\nIntervalM=300\n[Tool]\nShow=0\n' "$DEST" > "$P/orvanto.ini"

title() { xdotool getwindowname "$1" 2>/dev/null || true; }

wait_title() { # WID TEXT
  for _ in $(seq 80); do
    [ "$(title "$1")" = "$2" ] && return 0
    sleep 0.1
  done
  echo "  title is: $(title "$1")" >&2
  echo "  expected: $2" >&2
  return 1
}

viewable() { xwininfo -id "$1" 2>/dev/null | grep -q "IsViewable"; }

# The visible window of the program titled exactly TEXT.
visible_named() { # TEXT
  local w
  for w in $(xdotool search --onlyvisible --pid "$PID" 2>/dev/null); do
    [ "$(title "$w")" = "$1" ] && { echo "$w"; return 0; }
  done
  return 1
}

wait_visible_named() { # TEXT -> prints the window
  for _ in $(seq 80); do
    visible_named "$1" && return 0
    sleep 0.1
  done
  return 1
}

toolbox_shown() { wait_visible_named "Tool Box" >/dev/null; }

wait_gone_named() { # TEXT
  for _ in $(seq 80); do
    visible_named "$1" >/dev/null || return 0
    sleep 0.1
  done
  return 1
}

wait_file() { # PATH [absent]
  for _ in $(seq 80); do
    if [ "${2:-}" = absent ]; then [ ! -e "$1" ] && return 0; else [ -e "$1" ] && return 0; fi
    sleep 0.1
  done
  return 1
}

# press WID KEYS...: focus the window and type through the X server.
press() {
  local wid="$1"; shift
  xdotool windowfocus --sync "$wid" >/dev/null 2>&1 || true
  sleep 0.2
  xdotool key --clearmodifiers "$@"
}

full_screen_size() {
  local g
  g="$(xdotool getwindowgeometry "$1" 2>/dev/null | awk '/Geometry/ {print $2}')"
  [ "$g" = "1280x900" ]
}

count_visible() { xdotool search --onlyvisible --pid "$PID" 2>/dev/null | wc -l; }

"$P/orvanto" "$PICS" >/dev/null 2>&1 &
PID=$!
WID="$(e2e_wait_window "$PID")" || { echo "no window"; exit 1; }
sleep 0.5
check "the window shows the first picture" wait_title "$WID" "ミレット -- [1/4] $S1"

# --- F4 in
press "$WID" F4
FMAX="$(wait_visible_named "ミレット")" || FMAX=""
check "F4 opens the full-screen window" test -n "$FMAX"
[ -n "$FMAX" ] || { kill "$PID"; e2e_finish; exit 1; }
sleep 0.5
check "the full-screen window covers the screen" full_screen_size "$FMAX"
check "the main window is hidden in full screen" bash -c "! xwininfo -id $WID | grep -q IsViewable"

# --- play orders: F9 reverse, F8 normal, F7 random
press "$FMAX" F9
check "F9 in full screen: reverse order" wait_title "$WID" "ミレット -- [1/4] $S4"
press "$FMAX" F8
check "F8 in full screen: normal order" wait_title "$WID" "ミレット -- [1/4] $S1"
press "$FMAX" F7
sleep 0.5
ORDER=""
for n in 1 2 3 4; do
  ORDER="$ORDER|$(title "$WID")"
  press "$FMAX" Right
  sleep 0.3
done
NORMAL="|ミレット -- [1/4] $S1|ミレット -- [2/4] $S2|ミレット -- [3/4] $S3|ミレット -- [4/4] $S4"
check "F7 in full screen: the list is shuffled" test "$ORDER" != "$NORMAL"
check "F7 in full screen: every picture once" test "$(echo "$ORDER" | tr '|' '\n' | sed 's/.*\] //' | sort | tr '\n' ' ')" = " $S1 $S2 $S3 $S4 "
press "$FMAX" F8
check "F8 again: normal order" wait_title "$WID" "ミレット -- [1/4] $S1"

# --- F2: the slideshow runs and stops
press "$FMAX" F2
check "F2 in full screen starts the slideshow" wait_title "$WID" "ミレット -- [2/4] $S2"
press "$FMAX" F2
sleep 0.5
STOPPED="$(title "$WID")"
sleep 1.2
check "F2 again stops it" test "$(title "$WID")" = "$STOPPED"
press "$FMAX" F8
wait_title "$WID" "ミレット -- [1/4] $S1" >/dev/null

# --- Ctrl+C: the shown picture goes to the clipboard
press "$FMAX" ctrl+c
sleep 0.5
check "Ctrl+C in full screen copies the picture" bash -c "xclip -selection clipboard -t TARGETS -o 2>/dev/null | grep -q '^image/'"

# --- digit 0 moves the picture, Ctrl+Z brings it back
press "$FMAX" 0
check "0 in full screen moves the picture" wait_file "$DEST/sample1.jpg"
check "the moved picture left its folder" wait_file "$S1" absent
sleep 2.5 # the completion notice closes by itself
press "$FMAX" ctrl+z
check "Ctrl+Z in full screen brings it back" wait_file "$S1"
check "the destination is empty again" wait_file "$DEST/sample1.jpg" absent
sleep 2.5

# --- F3: the toolbox opens and closes
press "$FMAX" F3
check "F3 in full screen opens the toolbox" toolbox_shown
press "$FMAX" F3
check "F3 again closes it" wait_gone_named "Tool Box"

# --- Ctrl+O: the file chooser opens over the full-screen window
BEFORE="$(count_visible)"
press "$FMAX" ctrl+o
OPENED=1
for _ in $(seq 80); do
  [ "$(count_visible)" -gt "$BEFORE" ] && { OPENED=0; break; }
  sleep 0.1
done
check "Ctrl+O in full screen opens the file chooser" test "$OPENED" = 0
xdotool key Escape
sleep 0.5
check "the chooser closes with Esc and full screen stays" bash -c "viewable() { xwininfo -id \$1 | grep -q IsViewable; }; viewable $FMAX"

# --- F4 out, F4 in again
press "$FMAX" F4
check "F4 in full screen leaves it" wait_gone_named "ミレット"
check "the main window is back" bash -c "for i in \$(seq 50); do xwininfo -id $WID | grep -q IsViewable && exit 0; sleep 0.1; done; exit 1"
check "the picture is shown in the window again" wait_title "$WID" "ミレット -- [1/4] $S1"
press "$WID" F4
FMAX="$(wait_visible_named "ミレット")" || FMAX=""
check "F4 in the window enters full screen again" test -n "$FMAX"

# --- Ctrl+Q ends the program from full screen
[ -n "$FMAX" ] && press "$FMAX" ctrl+q
check "Ctrl+Q in full screen ends the program" e2e_wait_exit "$PID" 10
kill "$PID" 2>/dev/null || true

rm -rf "$P" "$WORK"
e2e_finish
