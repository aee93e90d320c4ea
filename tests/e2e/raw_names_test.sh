#!/usr/bin/env bash
# Names that are not UTF-8 (CP932 bytes): listed and shown with a readable
# caption, moved with their own bytes, and the other such picture stays in
# the list and is shown next.
BIN_DIR="$1"
SAMPLES="$2"
. "$(dirname "$0")/e2e_common.sh"

e2e_start_display
trap e2e_stop_display EXIT

P="$(e2e_copy_program "$BIN_DIR")"
WORK="$(mktemp -d)"
PICS="$WORK/pics"
DEST="$WORK/dest"
mkdir -p "$PICS" "$DEST"
# "写真.png" and "保存.png" in CP932.
PHOTO="$(printf '\x8e\xca\x90\x5e.png')"
KEEP="$(printf '\x95\xdb\x91\xb6.png')"
cp "$SAMPLES/sample2.png" "$PICS/$KEEP"
cp "$SAMPLES/sample2.png" "$PICS/$PHOTO"
printf '[Option]\nFolder1=%s\nButton1=dest\nCopy=0\n[Tool]\nShow=0\n' "$DEST" > "$P/orvanto.ini"

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

"$P/orvanto" "$PICS" >/dev/null 2>&1 &
PID=$!
WID="$(e2e_wait_window "$PID")" || { echo "no window"; exit 1; }
sleep 0.5
# The list is sorted by the names as the program reads them; either may
# come first.
FIRST_SHOWN=""
for _ in $(seq 80); do
  T="$(xdotool getwindowname "$WID" 2>/dev/null || true)"
  case "$T" in
    "ミレット -- [1/2] $PICS/写真.png") FIRST_SHOWN="$PHOTO"; OTHER="$KEEP"; OTHER_TEXT="保存.png"; break ;;
    "ミレット -- [1/2] $PICS/保存.png") FIRST_SHOWN="$KEEP"; OTHER="$PHOTO"; OTHER_TEXT="写真.png"; break ;;
  esac
  sleep 0.1
done
check "both pictures listed, the caption decoded as CP932" test -n "$FIRST_SHOWN"

xdotool windowfocus --sync "$WID" >/dev/null 2>&1 || true
sleep 0.2
xdotool key --clearmodifiers 0
for _ in $(seq 80); do [ -e "$DEST/$FIRST_SHOWN" ] && break; sleep 0.1; done
check "moved with its own bytes" test -f "$DEST/${FIRST_SHOWN:-none}"
check "the moved file is complete" cmp -s "$SAMPLES/sample2.png" "$DEST/${FIRST_SHOWN:-none}"
check "the other picture is still listed and shown" wait_title "$WID" "ミレット -- [1/1] $PICS/${OTHER_TEXT:-?}"
check "and still in its folder" test -f "$PICS/${OTHER:-none}"

sleep 1.8
xdotool windowfocus --sync "$WID" >/dev/null 2>&1 || true
xdotool key --clearmodifiers Escape
check "the program ends with Esc" e2e_wait_exit "$PID" 15

kill "$PID" 2>/dev/null || true
rm -rf "$P" "$WORK"
e2e_finish
