#!/usr/bin/env bash
# Slideshow benchmark on a private Xvfb screen of 1920 x 1080, figures
# printed beside references measured in the same run on the same files:
#  - 100 twelve-megapixel JPEGs, full screen, /Time=0.001 /Auto=On
#    /Repeat=Exit /Full=On, against `djpeg -dct int` of the same files on
#    one core and against `feh --on-last-slide quit -D 0.001 -F`;
#  - peak resident memory over a 300-picture slideshow, against the
#    picture cache's limit plus two decoded pictures.
# Usage: slideshow_benchmark.sh [BUILD_DIR]   (after scripts/install-deps.sh)
set -euo pipefail
BUILD="$(cd "${1:-$(dirname "$0")/../../build}" && pwd)"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/../../tests/e2e/e2e_common.sh"

for tool in djpeg feh taskset /usr/bin/time Xvfb xdpyinfo; do
  command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/install-deps.sh"; exit 1; }
done

WORK="$(mktemp -d)"
trap 'e2e_stop_display 2>/dev/null || true; rm -rf "$WORK"' EXIT
echo "making 300 JPEGs of 4000 x 3000 (8 encoded, the rest hard links)..."
"$BUILD/benchmarks/pipeline_benchmark" make-jpegs "$WORK/p300" 300 4000 3000
mkdir -p "$WORK/p100"
for f in $(ls "$WORK/p300" | head -100); do ln "$WORK/p300/$f" "$WORK/p100/$f"; done
PROGRAM="$(e2e_copy_program "$BUILD/bin")"
rm -f "$PROGRAM/orvanto.ini"

seconds() { date +%s.%N; }
elapsed() { echo "$2 - $1" | bc -l; }

# djpeg on one core
start=$(seconds)
for f in "$WORK"/p100/*.jpg; do taskset -c 0 djpeg -dct int -outfile /dev/null "$f"; done
djpeg_s=$(elapsed "$start" "$(seconds)")

e2e_start_display 1920x1080
export QT_QPA_PLATFORM=xcb

start=$(seconds)
feh --on-last-slide quit -D 0.001 -F "$WORK"/p100/*.jpg
feh_s=$(elapsed "$start" "$(seconds)")

run_slideshow() { # FOLDER -> prints "seconds peak-KiB"
  /usr/bin/time -o "$WORK/time.txt" -f "%e %M" "$PROGRAM/orvanto" "$1" /Time=0.001 /Auto=On /Repeat=Exit /Full=On \
    >/dev/null 2>&1 || true
  tail -1 "$WORK/time.txt"
}
read -r orvanto_s orvanto_kib <<<"$(run_slideshow "$WORK/p100")"
read -r long_s long_kib <<<"$(run_slideshow "$WORK/p300")"
mkdir -p "$WORK/p1" && ln "$WORK/p300/IMG_00000.jpg" "$WORK/p1/"
read -r one_s one_kib <<<"$(run_slideshow "$WORK/p1")"

ram_kib=$(awk '/MemTotal/ {print $2}' /proc/meminfo)
limit_kib=$(( ram_kib / 4 < 524288 ? ram_kib / 4 : 524288 ))
picture_kib=$(( 4000 * 3000 * 3 / 1024 ))

printf 'slideshow, 100 JPEGs 4000x3000, full screen 1920x1080:\n'
printf '  orvanto  %6.2f s  %6.1f ms per picture\n' "$orvanto_s" "$(echo "$orvanto_s * 10" | bc -l)"
printf '  djpeg -dct int, one core  %6.2f s  %6.1f ms per picture   (orvanto/djpeg = %.2f, aim <= 0.6)\n' \
  "$djpeg_s" "$(echo "$djpeg_s * 10" | bc -l)" "$(echo "$orvanto_s / $djpeg_s" | bc -l)"
printf '  feh -D 0.001 -F  %6.2f s  %6.1f ms per picture   (orvanto/feh = %.2f, aim <= 0.3)\n' \
  "$feh_s" "$(echo "$feh_s * 10" | bc -l)" "$(echo "$orvanto_s / $feh_s" | bc -l)"
printf 'peak resident memory:\n'
printf '  300-picture slideshow  %d MiB (%.2f s)\n' $(( long_kib / 1024 )) "$long_s"
printf '  100-picture slideshow  %d MiB\n' $(( orvanto_kib / 1024 ))
printf '  one-picture slideshow  %d MiB (program without a cache to speak of)\n' $(( one_kib / 1024 ))
printf '  aim: cache limit %d MiB + two decoded 12 MP pictures %d MiB = %d MiB above the one-picture figure\n' \
  $(( limit_kib / 1024 )) $(( 2 * picture_kib / 1024 )) $(( (one_kib + limit_kib + 2 * picture_kib) / 1024 ))
rm -rf "$PROGRAM"
