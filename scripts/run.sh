#!/usr/bin/env bash
# Installs what building and running need, builds Orvanto and opens it on
# the sample pictures. Without a display it runs the viewer under Xvfb, saves
# a screenshot of its window and prints where it is.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$(pwd)"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  bash scripts/install-deps.sh --build
else
  bash scripts/install-deps.sh --build --headless
fi
# Only the program: the tests and benchmarks need the --test packages.
bash scripts/build.sh -DORVANTO_BUILD_TESTS=OFF -DORVANTO_BUILD_BENCHMARKS=OFF
BIN="$ROOT/${BUILD_DIR:-build}/bin/orvanto"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$BIN" "$ROOT/samples"
fi

SHOT="${SCREENSHOT:-$ROOT/${BUILD_DIR:-build}/orvanto-screenshot.png}"
DISP=":$(( 90 + RANDOM % 100 ))"
Xvfb "$DISP" -screen 0 1280x900x24 -nolisten tcp -noreset >/dev/null 2>&1 &
XVFB_PID=$!
cleanup() { kill "$APP_PID" 2>/dev/null || true; kill "$XVFB_PID" 2>/dev/null || true; }
trap cleanup EXIT
export DISPLAY="$DISP"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

WORK="$(mktemp -d)"
cp -r "$(dirname "$BIN")"/. "$WORK/"
"$WORK/orvanto" "$ROOT/samples" &
APP_PID=$!
WID=""
for _ in $(seq 100); do
  WID="$(xdotool search --sync --onlyvisible --name 'ミレット' 2>/dev/null | head -1 || true)"
  [ -n "$WID" ] && break
  sleep 0.1
done
sleep 1.5
if [ -n "$WID" ]; then
  import -window "$WID" "$SHOT"
else
  import -window root "$SHOT"
fi
echo "Screenshot of the Orvanto window saved to: $SHOT"
