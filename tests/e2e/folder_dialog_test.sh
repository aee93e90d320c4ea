#!/usr/bin/env bash
# The folder dialogs of the real program under Xvfb: Ctrl+F opens with the
# last folder selected in view among hundreds of folders, and OK opens it;
# the shortcut dialog on an account without a desktop folder says so.
BIN_DIR="$1"
SAMPLES="$2"
export QT_QPA_PLATFORM=xcb
. "$(dirname "$0")/e2e_common.sh"

e2e_start_display
trap e2e_stop_display EXIT

P="$(e2e_copy_program "$BIN_DIR")"
BASE="$(mktemp -d)"
HOME_DIR="$(mktemp -d)"
# Many folders beside the last folder: it lies far below the top of the tree.
for i in $(seq -w 0 299); do mkdir "$BASE/d$i"; done
LAST="$BASE/d250"
cp "$SAMPLES/sample1.jpg" "$LAST/"
printf '[Window]\r\nLastDir=%s\r\n[Tool]\r\nShow=0\r\n[ShortCut]\r\nPictureFolder=%s\r\n' "$LAST" "$LAST" > "$P/orvanto.ini"

# A fresh account: no desktop folder, no ~/.local.
HOME="$HOME_DIR" XDG_CONFIG_HOME="$HOME_DIR/.config" XDG_DATA_HOME= "$P/orvanto" >/dev/null 2>&1 &
PID=$!
MAIN="$(e2e_wait_window "$PID")" || { echo "no window"; exit 1; }
sleep 0.5

press() {
  local wid="$1"; shift
  xdotool windowfocus --sync "$wid" >/dev/null 2>&1 || true
  sleep 0.2
  xdotool key "$@"
  sleep 0.3
}
# selection_visible WID: the selected row's highlight is drawn in the window
# (the tree has the keyboard focus, so its selection shows in the
# highlight colour of the style, a strong blue).
selection_visible() {
  local n shot
  shot="$(mktemp --suffix=.png)"
  import -window "$1" "$shot" 2>/dev/null || true
  n="$(convert "$shot" -depth 8 txt:- 2>/dev/null | awk -F'[(,)]' 'NR > 1 && $3 < 80 && $4 > 120 && $4 < 170 && $5 > 180 { n++ } END { print n + 0 }')"
  echo "highlight pixels: $n"
  [ -n "${SHOTS:-}" ] && cp "$shot" "$SHOTS/folder_dialog_window.png"
  rm -f "$shot"
  [ "$n" -gt 200 ]
}

press "$MAIN" ctrl+f
DLG="$(e2e_window_named "$PID" '^フォルダ選択$')" || { echo "no folder dialog"; }
check "Ctrl+F opens the folder dialog" test -n "$DLG"
sleep 1.5 # the tree lists the folders in the background
[ -n "${SHOTS:-}" ] && import -window root "$SHOTS/folder_dialog.png"
check "the last folder is selected where the user can see it" selection_visible "$DLG"
press "$DLG" Return
check "OK opens the selected folder" e2e_wait_title "$MAIN" "ミレット -- [1/1] $LAST/sample1.jpg"

press "$MAIN" alt+f y
SC="$(e2e_window_named "$PID" '^ショートカットの作成$')" || true
check "the shortcut dialog opens" test -n "$SC"
press "$SC" Return
count_boxes() { xdotool search --all --onlyvisible --pid "$PID" --name '^ミレット$' 2>/dev/null | wc -l; }
wait_box() { for _ in $(seq 50); do [ "$(count_boxes)" -ge 1 ] && return 0; sleep 0.1; done; return 1; }
check "a missing desktop folder is reported in a message box" wait_box
[ -n "${SHOTS:-}" ] && import -window root "$SHOTS/no_desktop.png"
BOX="$(xdotool search --all --onlyvisible --pid "$PID" --name '^ミレット$' | head -1)"
press "$BOX" Return
press "$SC" Escape
check "nothing was created in the account" test -z "$(find "$HOME_DIR" -name '*.desktop')"

check "Esc ends the program" e2e_escape "$PID" "$MAIN"
rm -rf "$P" "$BASE" "$HOME_DIR"
e2e_finish
