#!/usr/bin/env bash
# The real program under Xvfb: F1 opens help viewers showing help.html from
# the program folder, F5 the options dialog, the menus the shortcut dialog and
# the about box. With a third argument, screenshots of the screen go there.
BIN_DIR="$1"
SHOTS="${2:-}"
. "$(dirname "$0")/../e2e/e2e_common.sh"

e2e_start_display
trap e2e_stop_display EXIT

shot() {
  [ -n "$SHOTS" ] || return 0
  mkdir -p "$SHOTS"
  import -window root "$SHOTS/$1.png" 2>/dev/null || true
}

# wait_named PID REGEX COUNT -> 0 when COUNT visible windows of the process
# have a title matching REGEX
wait_named() {
  local pid="$1" name="$2" count="$3" n
  for _ in $(seq 100); do
    n="$(xdotool search --all --onlyvisible --pid "$pid" --name "$name" 2>/dev/null | wc -l)"
    [ "$n" -eq "$count" ] && return 0
    sleep 0.1
  done
  return 1
}

# press WINDOW KEYS... : focuses the window (there is no window manager, so
# this is what makes it active for Qt's shortcuts) and types real key events.
press() {
  local wid="$1"; shift
  xdotool windowfocus --sync "$wid" >/dev/null 2>&1 || true
  sleep 0.2
  xdotool key "$@"
  sleep 0.3
}

P="$(e2e_copy_program "$BIN_DIR")"
# The toolbox stays closed so that keys go to the main window.
printf '[Tool]\r\nShow=0\r\n[Help]\r\nLeft=30\r\nTop=40\r\nWidth=640\r\nHeight=560\r\n' > "$P/orvanto.ini"
"$P/orvanto" >/dev/null 2>&1 &
PID=$!
if ! MAIN="$(e2e_wait_window "$PID")"; then
  echo "no window appeared"; exit 1
fi
sleep 0.5

check "help.html lies beside the program" test -s "$P/help.html"
press "$MAIN" F1
check "F1 opens a help viewer" wait_named "$PID" "^ヘルプ" 1
sleep 0.5
shot help_viewer
press "$MAIN" F1
check "F1 again opens a second viewer" wait_named "$PID" "^ヘルプ" 2
HELP="$(xdotool search --all --onlyvisible --pid "$PID" --name "^ヘルプ" | head -1)"
press "$HELP" Escape
check "Esc closes one viewer" wait_named "$PID" "^ヘルプ" 1
HELP="$(xdotool search --all --onlyvisible --pid "$PID" --name "^ヘルプ" | head -1)"
press "$HELP" Escape
check "the other closes too" wait_named "$PID" "^ヘルプ" 0

press "$MAIN" F5
check "F5 opens the options dialog" wait_named "$PID" "^各種設定" 1
shot options
OPT="$(xdotool search --all --onlyvisible --pid "$PID" --name "^各種設定" | head -1)"
press "$OPT" Escape
check "Esc cancels the options dialog" wait_named "$PID" "^各種設定" 0

press "$MAIN" alt+f y
check "the file menu opens the shortcut dialog" wait_named "$PID" "^ショートカットの作成" 1
shot shortcut
SC="$(xdotool search --all --onlyvisible --pid "$PID" --name "^ショートカットの作成" | head -1)"
press "$SC" Escape
check "Esc cancels the shortcut dialog" wait_named "$PID" "^ショートカットの作成" 0

press "$MAIN" alt+h y
check "the help menu opens the about box" wait_named "$PID" "ﾊﾞｰｼﾞｮﾝ情報" 1
shot about
AB="$(xdotool search --all --onlyvisible --pid "$PID" --name "ﾊﾞｰｼﾞｮﾝ情報" | head -1)"
press "$AB" Return
check "OK closes the about box" wait_named "$PID" "ﾊﾞｰｼﾞｮﾝ情報" 0

press "$MAIN" Escape
check "the program ends with Esc" e2e_wait_exit "$PID" 15
check "the help viewer's size is written back" test "$(ini_value "$P/orvanto.ini" Help Width)x$(ini_value "$P/orvanto.ini" Help Height)" = "640x560"

rm -rf "$P"
e2e_finish
