#!/usr/bin/env bash
# The toolbox's caption editor and the rename prompt of the real program
# under Xvfb: Enter ends the caption editing and leaves the picture where
# it is; renaming a picture to its own name changes nothing and asks once.
BIN_DIR="$1"
SAMPLES="$2"
export QT_QPA_PLATFORM=xcb
. "$(dirname "$0")/e2e_common.sh"

e2e_start_display
trap e2e_stop_display EXIT

P="$(e2e_copy_program "$BIN_DIR")"
PICS="$(mktemp -d)"
DEST="$(mktemp -d)"
cp "$SAMPLES/sample1.jpg" "$SAMPLES/sample2.png" "$PICS/"
BEFORE="$(cd "$PICS" && sha256sum * )"
printf '[Tool]\r\nShow=1\r\nLeft=700\r\nTop=20\r\n[Option]\r\nnButton=2\r\nFolder1=%s\r\nButton1=dest\r\n' "$DEST" > "$P/orvanto.ini"

"$P/orvanto" "$PICS" >/dev/null 2>&1 &
PID=$!
e2e_wait_window "$PID" >/dev/null || { echo "no window"; exit 1; }
MAIN="$(e2e_window_named "$PID" '^ミレット -- ')"
TOOL="$(e2e_window_named "$PID" '^Tool Box$')"
check "the main window and the toolbox are up" test -n "$MAIN" -a -n "$TOOL"
FIRST="ミレット -- [1/2] $PICS/sample1.jpg"
check "the first picture is shown" e2e_wait_title "$MAIN" "$FIRST"

# The first transfer button lies at (20, 371) in the toolbox, 100 x 25.
xdotool windowfocus --sync "$TOOL" >/dev/null 2>&1 || true
xdotool mousemove --window "$TOOL" 70 383 click 3
sleep 0.5
[ -n "${SHOTS:-}" ] && import -window root "$SHOTS/caption_menu.png"
# The button's menu opens at the pointer: 転送先, 転送先→実行時選択,
# 転送先 消去 and 表示名, one row of 22 pixels each.
xdotool mousemove_relative -- 40 76 click 1
sleep 0.5
xdotool windowfocus --sync "$TOOL" >/dev/null 2>&1 || true
xdotool key ctrl+a
xdotool type --delay 50 "abc"
[ -n "${SHOTS:-}" ] && import -window root "$SHOTS/caption_edit.png"
xdotool key Return
sleep 1
check "Enter in the caption editor leaves the picture where it is" test "$(xdotool getwindowname "$MAIN")" = "$FIRST"
check "nothing was transferred" test -z "$(ls -A "$DEST")"

# Rename prompt (Ctrl+B): OK with the name unchanged.
xdotool windowfocus --sync "$MAIN" >/dev/null 2>&1 || true
sleep 0.2
xdotool key ctrl+b
RN="$(e2e_window_named "$PID" '^画像ファイル名変更$')" || true
check "Ctrl+B asks for the new name" test -n "$RN"
xdotool windowfocus --sync "$RN" >/dev/null 2>&1 || true
xdotool key Return
sleep 1.5
check "no 'same name' message for the picture's own name" test -z "$(xdotool search --all --onlyvisible --pid "$PID" --name '^ミレット$' 2>/dev/null)"
check "the prompt is not asked again" test -z "$(xdotool search --all --onlyvisible --pid "$PID" --name '^画像ファイル名変更$' 2>/dev/null)"
check "the title is unchanged" test "$(xdotool getwindowname "$MAIN")" = "$FIRST"

check "Esc ends the program" e2e_escape "$PID" "$MAIN"
check "the caption typed is kept" test "$(ini_value "$P/orvanto.ini" Option Button1)" = "abc"
check "the pictures are untouched" test "$(cd "$PICS" && sha256sum *)" = "$BEFORE"
rm -rf "$P" "$PICS" "$DEST"
e2e_finish
