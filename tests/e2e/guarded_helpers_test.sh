#!/usr/bin/env bash
# Opens a folder holding a damaged CAB archive, a RAR archive on which the
# reading library never returns, a file of a plug-in that crashes while
# decoding, and good pictures: the real program, with its plug-ins and
# archiver libraries in the helper process, shows every good picture, shows
# the bad one as undecodable and stays up.
BIN_DIR="$1"
SAMPLES="$2"
HOSTILE_SPI_DIR="$3"
TEST_DATA="$4"
. "$(dirname "$0")/e2e_common.sh"

e2e_start_display
trap e2e_stop_display EXIT

P="$(e2e_copy_program "$BIN_DIR")"
cp "$HOSTILE_SPI_DIR/crashpicture.spi" "$P/plugins/"
PICS="$(mktemp -d)"
cp "$SAMPLES/sample1.jpg" "$SAMPLES/sample2.png" "$PICS/"
printf 'P6\n4 2\n255\n' > "$PICS/c.ppm"
head -c 24 /dev/zero | tr '\0' '\200' >> "$PICS/c.ppm"
printf 'CRSH and nothing a picture needs' > "$PICS/b.crp"
# A CAB cut short in its compressed data (or a bare header without gcab).
WORK="$(mktemp -d)"
head -c 40000 /dev/urandom > "$WORK/noise.bin"
if command -v gcab >/dev/null && (cd "$WORK" && gcab -c -z damaged.cab noise.bin); then
  head -c 4096 "$WORK/damaged.cab" > "$PICS/a.cab"
else
  printf 'MSCF\0\0\0\0' > "$PICS/a.cab"
  head -c 4088 /dev/urandom >> "$PICS/a.cab"
fi
# The helper's watchdog ends the library after 10 s of silence.
cp "$TEST_DATA/archives/rar5-dictionary-shrinks-mid-file.rar" "$PICS/d.rar"

"$P/orvanto" "$PICS" >/dev/null 2>&1 &
PID=$!
e2e_wait_window "$PID" >/dev/null || { echo "no window"; exit 1; }
# The main window by its title: the tool box and the messages about the
# damaged archive and the crashed plug-in are windows of the program too.
WID=""
for _ in $(seq 100); do
  WID="$(xdotool search --all --onlyvisible --pid "$PID" --name "^ミレット -- " 2>/dev/null | head -1 || true)"
  [ -n "$WID" ] && break
  sleep 0.1
done
[ -n "$WID" ] || { echo "no main window"; exit 1; }
sleep 0.5
press() { xdotool key --window "$WID" "$1" 2>/dev/null || true; }

# The CAB and the RAR yield nothing; the list holds the four files in name
# order.
check "the first picture shows" e2e_wait_title "$WID" "ミレット -- [1/4] $PICS/b.crp"
check "the program is up after the crashing plug-in's file" kill -0 "$PID"
press Right
check "a PPM through the plug-in helper" e2e_wait_title "$WID" "ミレット -- [2/4] $PICS/c.ppm"
press Right
check "a JPEG" e2e_wait_title "$WID" "ミレット -- [3/4] $PICS/sample1.jpg"
press Right
check "a PNG" e2e_wait_title "$WID" "ミレット -- [4/4] $PICS/sample2.png"
press Right
check "the crashing plug-in's file again" e2e_wait_title "$WID" "ミレット -- [1/4] $PICS/b.crp"
press Right
check "and the next picture still shows" e2e_wait_title "$WID" "ミレット -- [2/4] $PICS/c.ppm"
check "the program is still up" kill -0 "$PID"
check "no partial file left in the work folder" \
  test -z "$(find "${XDG_RUNTIME_DIR:-/tmp}" -name '.arc*.part' 2>/dev/null | head -1)"
messages() {
  for w in $(xdotool search --onlyvisible --pid "$PID" 2>/dev/null); do xdotool getwindowname "$w"; done |
    grep -c '^ミレット$' || true
}
check "the messages are windows of their own" test "$(messages)" -ge 1
# One message each for the CAB, the crashing plug-in and, once the watchdog
# has ended its library, the RAR.
three_messages() {
  for _ in $(seq 300); do
    [ "$(messages)" -ge 3 ] && return 0
    sleep 0.1
  done
  echo "messages: $(messages)"
  return 1
}
check "the library stuck on the RAR is ended and the RAR named" three_messages
check "the program is up after it" kill -0 "$PID"
press Right
check "and the next picture shows" e2e_wait_title "$WID" "ミレット -- [3/4] $PICS/sample1.jpg"
if [ -n "${E2E_SCREENSHOT:-}" ]; then import -window root "$E2E_SCREENSHOT" 2>/dev/null || true; fi

check "Esc ends the program" e2e_escape "$PID" "$WID"
rm -rf "$P" "$PICS" "$WORK"
e2e_finish
