#!/usr/bin/env bash
# The real program with Windows plug-ins in its plug-in folder, run under
# Wine by its Windows helper: a picture in the tests' own format is decoded
# by a cross-built 64-bit plug-in and shown; a plug-in that crashes leaves
# the program running, and the next picture shows.
BIN_DIR="$1"
FIXTURES="$2"
. "$(dirname "$0")/e2e_common.sh"

SKIP=77
[ -x /usr/lib/wine/wine64 ] || command -v wine64 >/dev/null || { echo "SKIP: wine64 is not installed"; exit $SKIP; }
[ -f "$BIN_DIR/orvanto-spihost64.exe" ] && [ -f "$FIXTURES/owt.sph" ] ||
  { echo "SKIP: no MinGW-w64 compilers: helper or Windows test plug-ins not built"; exit $SKIP; }

e2e_start_display
trap e2e_stop_display EXIT

P="$(e2e_copy_program "$BIN_DIR")"
cp "$FIXTURES/owt.sph" "$FIXTURES/crash.sph" "$P/plugins/"
PICS="$(mktemp -d)"
LOG="$(mktemp)"

# owt_file PATH MAGIC R G B: a 64 x 48 picture of one colour.
owt_file() {
  python3 - "$@" <<'PY'
import struct, sys
path, magic, r, g, b = sys.argv[1], sys.argv[2], *map(int, sys.argv[3:6])
with open(path, "wb") as f:
    f.write(magic.encode() + struct.pack("<HH", 64, 48) + bytes([r, g, b]) * (64 * 48))
PY
}
owt_file "$PICS/a.owt" OWT1 200 30 120
owt_file "$PICS/b.owx" OWTX 0 0 255
owt_file "$PICS/c.owt" OWT1 20 180 60

# count_colour WID R G B: pixels of the window in exactly that colour.
count_colour() {
  local shot
  shot="$(mktemp --suffix=.png)"
  import -window "$1" "$shot" 2>/dev/null || { echo 0; return; }
  convert "$shot" -format %c histogram:info:- 2>/dev/null |
    awk -v want="($2,$3,$4)" '{ c = $2; gsub(/ /, "", c); if (c == want) { sub(":", "", $1); n += $1 } } END { print n + 0 }'
  cp "$shot" "${E2E_SHOT_DIR:-/tmp}/orvanto-windows-plugin-$5.png" 2>/dev/null || true
  rm -f "$shot"
}
wait_colour() {
  local n
  for _ in $(seq 60); do
    n="$(count_colour "$@")"
    [ "$n" -ge 2000 ] && return 0
    sleep 0.5
  done
  echo "only $n pixels of ($2,$3,$4)"
  return 1
}

# Wine starts with the first Windows plug-in (and makes its prefix on the
# very first run): the window may take a while.
"$P/orvanto" "$PICS" >/dev/null 2>"$LOG" &
PID=$!
WID=""
for _ in $(seq 1800); do
  # The main window, by its caption (the toolbox may be open as well, and
  # the crash message, titled with the product name alone, may come early:
  # the picture after the first is decoded ahead).
  for w in $(xdotool search --onlyvisible --pid "$PID" 2>/dev/null || true); do
    case "$(xdotool getwindowname "$w" 2>/dev/null)" in "ミレット -- "*) WID="$w" ;; esac
  done
  [ -n "$WID" ] && break
  kill -0 "$PID" 2>/dev/null || break
  sleep 0.1
done
check "the window appears" test -n "$WID"
[ -n "$WID" ] || { cat "$LOG"; kill "$PID" 2>/dev/null; e2e_finish; exit 1; }
press() { xdotool key --window "$WID" "$1" 2>/dev/null || true; }

check "title shows the first picture" e2e_wait_title "$WID" "ミレット -- [1/3] $PICS/a.owt"
MAIN_AND_TOOLS="$(printf '%s\n' "$WID"; xdotool search --onlyvisible --name '^Tool Box$' 2>/dev/null || true)"
press Right
check "title moves to the crashing plug-in's file" e2e_wait_title "$WID" "ミレット -- [2/3] $PICS/b.owx"
sleep 3
check "the program survives the crashing plug-in" kill -0 "$PID"
check "the crash is named in the log" grep -q "crash.sph" "$LOG"
# The program tells it in one window of its own, which does not block the
# main window; it is closed before going on. (It may have come before the
# step: the next picture is decoded ahead.)
other_window() {
  xdotool search --onlyvisible --pid "$PID" 2>/dev/null | grep -vxF "$MAIN_AND_TOOLS" | head -1
}
BOX=""
for _ in $(seq 50); do BOX="$(other_window || true)"; [ -n "$BOX" ] && break; sleep 0.2; done
check "a message about the crashed plug-in is shown" test -n "$BOX"
if [ -n "$BOX" ]; then
  # Keys reach the window that has the focus (there is no window manager).
  xdotool windowfocus --sync "$BOX" 2>/dev/null || true
  xdotool key Return 2>/dev/null || true
  for _ in $(seq 25); do [ -z "$(other_window || true)" ] && break; sleep 0.2; done
  check "the message closes" test -z "$(other_window || true)"
  xdotool windowfocus --sync "$WID" 2>/dev/null || true
fi
check "the crashing plug-in's file is still the one shown" e2e_wait_title "$WID" "ミレット -- [2/3] $PICS/b.owx"
press Right
check "title shows the third picture" e2e_wait_title "$WID" "ミレット -- [3/3] $PICS/c.owt"
check "the next picture is decoded after the crash" wait_colour "$WID" 20 180 60 third
press Home
check "Home goes back to the first picture" e2e_wait_title "$WID" "ミレット -- [1/3] $PICS/a.owt"
check "the Windows plug-in's picture is shown" wait_colour "$WID" 200 30 120 first

check "Esc ends the program" e2e_escape "$PID" "$WID"
echo "--- program log"; cat "$LOG"
rm -rf "$P" "$PICS" "$LOG"
e2e_finish
