#!/usr/bin/env bash
# Wine starting does not hold the window up. On the very first run Wine makes
# its prefix (half a minute and more): meanwhile the window paints and keys
# move through the pictures the built-in decoders read. Once the Windows
# plug-in is ready it is offered; on the next run it is offered at once and
# Wine starts on a decoding thread with the first picture that needs it.
BIN_DIR="$1"
FIXTURES="$2"
. "$(dirname "$0")/e2e_common.sh"

SKIP=77
[ -x /usr/lib/wine/wine64 ] || command -v wine64 >/dev/null || { echo "SKIP: wine64 is not installed"; exit $SKIP; }
[ -f "$BIN_DIR/orvanto-spihost64.exe" ] && [ -f "$FIXTURES/owt.sph" ] ||
  { echo "SKIP: no MinGW-w64 compilers: helper or Windows test plug-ins not built"; exit $SKIP; }
e2e_require_tools convert import python3

e2e_start_display
trap e2e_stop_display EXIT

P="$(e2e_copy_program "$BIN_DIR")"
cp "$FIXTURES/owt.sph" "$P/plugins/"
PICS="$(mktemp -d)"
LOG="$(mktemp)"
# A work area of this test's own: no Wine prefix yet, nothing known of the
# plug-in.
export XDG_RUNTIME_DIR="$(mktemp -d)"
chmod 700 "$XDG_RUNTIME_DIR"

convert -size 64x48 xc:'rgb(200,30,120)' "$PICS/a.png"
convert -size 64x48 xc:'rgb(20,180,60)' "$PICS/b.png"
python3 - "$PICS/c.owt" <<'PY'
import struct, sys
with open(sys.argv[1], "wb") as f:
    f.write(b"OWT1" + struct.pack("<HH", 64, 48) + bytes([40, 60, 220]) * (64 * 48))
PY

# count_colour WID R G B: pixels of the window in exactly that colour.
count_colour() {
  local shot
  shot="$(mktemp --suffix=.png)"
  import -window "$1" "$shot" 2>/dev/null || { echo 0; return; }
  convert "$shot" -format %c histogram:info:- 2>/dev/null |
    awk -v want="($2,$3,$4)" '{ c = $2; gsub(/ /, "", c); if (c == want) { sub(":", "", $1); n += $1 } } END { print n + 0 }'
  cp "$shot" "${E2E_SHOT_DIR:-/tmp}/orvanto-windows-start-$5.png" 2>/dev/null || true
  rm -f "$shot"
}
wait_colour() {
  local n
  for _ in $(seq "${6:-40}"); do
    n="$(count_colour "$@")"
    [ "$n" -ge 2000 ] && return 0
    sleep 0.5
  done
  echo "only $n pixels of ($2,$3,$4)"
  return 1
}
find_window() {
  local pid="$1" w
  WID=""
  for _ in $(seq 150); do
    for w in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null || true); do
      case "$(xdotool getwindowname "$w" 2>/dev/null)" in ミレット*) WID="$w" ;; esac
    done
    [ -n "$WID" ] && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
# remove_prefix: Wine's last writes into the prefix may still be landing.
remove_prefix() {
  for _ in $(seq 50); do rm -rf "$XDG_RUNTIME_DIR/orvanto/wine" 2>/dev/null && return 0; sleep 0.2; done
  return 1
}
ready() { grep -q "Windows プラグインの準備ができました" "$LOG"; }
not_ready() { ! ready; }
# The program logs when its Windows helper has started.
helper_not_started() { ! grep -q "Windows プラグインの補助プログラム (64 ビット) が" "$LOG"; }
# wine_gone: waits until no Wine process of the test's prefix is left.
wine_gone() {
  for _ in $(seq 150); do
    grep -lsaF "WINEPREFIX=$XDG_RUNTIME_DIR/orvanto/wine" /proc/[0-9]*/environ >/dev/null 2>&1 || return 0
    sleep 0.2
  done
  return 1
}

# First run: the window comes up within 15 s although Wine is only starting.
"$P/orvanto" "$PICS" >/dev/null 2>"$LOG" &
PID=$!
check "the window appears while Wine starts" find_window "$PID"
[ -n "$WID" ] || { cat "$LOG"; kill "$PID" 2>/dev/null; e2e_finish; exit 1; }
check "the Windows plug-in is being made ready apart" grep -q "Windows プラグインを準備しています" "$LOG"
check "title shows the first picture" e2e_wait_title "$WID" "ミレット -- [1/2] $PICS/a.png"
check "the first picture is painted" wait_colour "$WID" 200 30 120 first
xdotool key --window "$WID" Right 2>/dev/null || true
check "a key moves to the next picture" e2e_wait_title "$WID" "ミレット -- [2/2] $PICS/b.png"
check "the next picture is painted" wait_colour "$WID" 20 180 60 second
check "all that while Wine was still starting" not_ready
check "and before its helper had started" helper_not_started
for _ in $(seq 600); do ready && break; kill -0 "$PID" 2>/dev/null || break; sleep 0.5; done
check "the Windows plug-in is ready after Wine has started" ready
check "Esc ends the program" e2e_escape "$PID" "$WID"

# Second run: the plug-in is known, its picture listed at once; Wine starts
# on a decoding thread (the prefix is made again, so it is slow) while the
# window takes keys.
check "Wine ends with the program" wine_gone
remove_prefix
check "the prefix is gone for the next run" test ! -e "$XDG_RUNTIME_DIR/orvanto/wine"
: >"$LOG"
"$P/orvanto" "$PICS" >/dev/null 2>"$LOG" &
PID=$!
check "the window appears at once on the next run" find_window "$PID"
[ -n "$WID" ] || { cat "$LOG"; kill "$PID" 2>/dev/null; e2e_finish; exit 1; }
check "the plug-in's file is listed at once" e2e_wait_title "$WID" "ミレット -- [1/3] $PICS/a.png"
check "no search-time start on the next run" test -z "$(grep "準備しています" "$LOG")"
xdotool key --window "$WID" Right 2>/dev/null || true
check "a key moves on" e2e_wait_title "$WID" "ミレット -- [2/3] $PICS/b.png"
xdotool key --window "$WID" Right 2>/dev/null || true
check "a key moves to the plug-in's picture" e2e_wait_title "$WID" "ミレット -- [3/3] $PICS/c.owt"
sleep 1
xdotool key --window "$WID" Left 2>/dev/null || true
check "and back while Wine starts for it" e2e_wait_title "$WID" "ミレット -- [2/3] $PICS/b.png"
check "the built-in picture is painted meanwhile" wait_colour "$WID" 20 180 60 third
check "all that before the helper had started" helper_not_started
xdotool key --window "$WID" Right 2>/dev/null || true
check "the plug-in's picture is back in the title" e2e_wait_title "$WID" "ミレット -- [3/3] $PICS/c.owt"
check "the Windows plug-in's picture is shown once Wine runs" wait_colour "$WID" 40 60 220 fourth 600
check "Esc ends the program" e2e_escape "$PID" "$WID"

echo "--- program log"; cat "$LOG"

# Third run, nothing known again: ended while Wine is still making its
# prefix, the program does not wait for Wine.
check "Wine ends with the program" wine_gone
remove_prefix
rm -rf "$XDG_RUNTIME_DIR/orvanto/windows-plugins"
: >"$LOG"
"$P/orvanto" "$PICS" >/dev/null 2>"$LOG" &
PID=$!
check "the window appears" find_window "$PID"
[ -n "$WID" ] || { cat "$LOG"; kill "$PID" 2>/dev/null; e2e_finish; exit 1; }
check "title shows the first picture" e2e_wait_title "$WID" "ミレット -- [1/2] $PICS/a.png"
check "Wine is still starting" not_ready
START=$(date +%s)
check "Esc ends the program while Wine starts" e2e_escape "$PID" "$WID"
check "within a few seconds" test $(( $(date +%s) - START )) -le 5
wine_gone || true
remove_prefix || true
rm -rf "$P" "$PICS" "$LOG" "$XDG_RUNTIME_DIR" 2>/dev/null || true
e2e_finish
