#!/usr/bin/env bash
# The real program under Xvfb shows a folder of WebP, TIFF, AVIF, HEIF and
# JPEG XL pictures made by the real encoders (each a solid colour, checked
# on screen), and opens 7z and comic-book archives made by the real tools,
# each routed to its library by content.
BIN_DIR="$1"
. "$(dirname "$0")/e2e_common.sh"

for t in convert import cwebp avifenc heif-enc cjxl zip 7z tar python3; do
  command -v "$t" >/dev/null 2>&1 || { echo "SKIP: $t is not installed"; exit 77; }
done

e2e_start_display
trap e2e_stop_display EXIT

P="$(e2e_copy_program "$BIN_DIR")"
WORK="$(mktemp -d)"
PICS="$WORK/pictures"
mkdir -p "$PICS"

# One solid colour per format, in name order; as 24-bit PNG, since heif-enc
# misreads a palette PNG.
convert -size 320x240 xc:'#d02020' "PNG24:$WORK/a.png"
convert -size 320x240 xc:'#20b020' "PNG24:$WORK/b.png"
convert -size 320x240 xc:'#2020d0' "PNG24:$WORK/c.png"
convert -size 320x240 xc:'#d0d020' "PNG24:$WORK/d.png"
convert -size 320x240 xc:'#b020b0' "PNG24:$WORK/e.png"
cwebp -quiet -lossless "$WORK/a.png" -o "$PICS/a.webp"
convert "$WORK/b.png" -compress LZW "$PICS/b.tif"
avifenc -l -s 10 "$WORK/c.png" "$PICS/c.avif" >/dev/null
heif-enc -q 95 "$WORK/d.png" -o "$PICS/d.heic" >/dev/null
cjxl "$WORK/e.png" "$PICS/e.jxl" -d 0 --quiet

# centre_colour WID -> the colour in the middle of the window as RRGGBB
centre_colour() {
  local w h
  eval "$(xdotool getwindowgeometry --shell "$1")"
  import -window "$1" -crop "1x1+$((WIDTH / 2))+$((HEIGHT / 2))" -depth 8 txt:- 2>/dev/null |
    sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | tr 'a-f' 'A-F'
}
# near RRGGBB RRGGBB -> each channel within 12
near() {
  local a="$1" b="$2" i
  [ ${#a} -eq 6 ] || { echo "no colour read"; return 1; }
  for i in 0 2 4; do
    local d=$(( 16#${a:$i:2} - 16#${b:$i:2} ))
    [ ${d#-} -le 12 ] || { echo "colour $a, expected $b"; return 1; }
  done
}
# shows_colour WID RRGGBB: waits up to 10 s for the colour
shows_colour() {
  local c
  for _ in $(seq 50); do
    c="$(centre_colour "$1")"
    near "$c" "$2" >/dev/null 2>&1 && return 0
    sleep 0.2
  done
  near "$c" "$2"
}

# main_window PID -> the id of the main window (the toolbox may show first)
main_window() {
  local wid=""
  for _ in $(seq 150); do
    wid="$(xdotool search --all --onlyvisible --pid "$1" --name '^ミレット' 2>/dev/null | head -1 || true)"
    [ -n "$wid" ] && { echo "$wid"; return 0; }
    kill -0 "$1" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

"$P/orvanto" "$PICS" >/dev/null 2>&1 &
PID=$!
WID="$(main_window "$PID")" || { echo "no window"; exit 1; }
sleep 0.5
press() { xdotool key --window "$WID" "$1" 2>/dev/null || true; }
check "WebP shown" e2e_wait_title "$WID" "ミレット -- [1/5] $PICS/a.webp"
check "WebP pixels on screen" shows_colour "$WID" D02020
press Right
check "TIFF shown" e2e_wait_title "$WID" "ミレット -- [2/5] $PICS/b.tif"
check "TIFF pixels on screen" shows_colour "$WID" 20B020
press Right
check "AVIF shown" e2e_wait_title "$WID" "ミレット -- [3/5] $PICS/c.avif"
check "AVIF pixels on screen" shows_colour "$WID" 2020D0
press Right
check "HEIF shown" e2e_wait_title "$WID" "ミレット -- [4/5] $PICS/d.heic"
check "HEIF pixels on screen" shows_colour "$WID" D0D020
press Right
check "JPEG XL shown" e2e_wait_title "$WID" "ミレット -- [5/5] $PICS/e.jxl"
check "JPEG XL pixels on screen" shows_colour "$WID" B020B0
if [ -n "${ORVANTO_SCREENSHOT_DIR:-}" ]; then
  import -window root "$ORVANTO_SCREENSHOT_DIR/formats-jxl.png"
fi
check "Esc ends the program" e2e_escape "$PID" "$WID"

# Archives: two pictures each, made by the real tools (RAR 4 by the script
# beside this one).
SRC="$WORK/src"
mkdir -p "$SRC"
cp "$PICS/a.webp" "$SRC/p1.webp"
cp "$WORK/b.png" "$SRC/p2.png"
ARC="$WORK/archives"
mkdir -p "$ARC"
(cd "$SRC" && 7z a -bd "$ARC/plain.7z" p1.webp p2.png >/dev/null)
(cd "$SRC" && zip -q "$ARC/book.cbz" p1.webp p2.png)
python3 "$(dirname "$0")/make_rar4.py" "$ARC/book.cbr" "$SRC/p1.webp" "$SRC/p2.png"
(cd "$SRC" && 7z a -bd -t7z "$ARC/book.cb7" p1.webp p2.png >/dev/null)
(cd "$SRC" && tar cf "$ARC/book.cbt" p1.webp p2.png)
# Named as one kind, made as another: the content decides.
(cd "$SRC" && zip -q "$ARC/zip-inside.cbr" p1.webp p2.png)
(cd "$SRC" && tar cf "$ARC/tar-inside.cb7" p1.webp p2.png)

for a in plain.7z book.cbz book.cbr book.cb7 book.cbt zip-inside.cbr tar-inside.cb7; do
  "$P/orvanto" "$ARC/$a" >/dev/null 2>&1 &
  PID=$!
  WID="$(main_window "$PID")" || { echo "no window for $a"; E2E_FAILURES=$((E2E_FAILURES + 1)); continue; }
  opened() {
    for _ in $(seq 100); do
      case "$(xdotool getwindowname "$WID" 2>/dev/null)" in
        "ミレット -- [1/2] "*/p1.webp) return 0 ;;
      esac
      sleep 0.1
    done
    echo "title is: $(xdotool getwindowname "$WID" 2>/dev/null)"
    return 1
  }
  check "$a unpacked and its first picture shown" opened
  check "$a picture pixels on screen" shows_colour "$WID" D02020
  check "Esc ends the program ($a)" e2e_escape "$PID" "$WID"
done

rm -rf "$P" "$WORK"
e2e_finish
