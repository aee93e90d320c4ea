#!/usr/bin/env bash
# `cmake --install BUILD --prefix P` into a temporary prefix: the layout of
# the installed tree, the desktop validators, and the installed program under
# Xvfb finding its plug-ins and archiver libraries in P/lib/orvanto and
# keeping its settings in ~/.config/orvanto.
#   install_tree_test.sh BUILD_DIR SOURCE_DIR
BUILD="$1"
SOURCE="$2"
. "$SOURCE/tests/e2e/e2e_common.sh"
. "$(dirname "$0")/packaging_common.sh"

WORK="$(mktemp -d)"
cleanup() { [ -n "${APP_PID:-}" ] && kill "$APP_PID" 2>/dev/null; e2e_stop_display; rm -rf "$WORK"; }
trap cleanup EXIT
P="$WORK/prefix"
if ! cmake --install "$BUILD" --prefix "$P" >"$WORK/install.log" 2>&1; then
  cat "$WORK/install.log"; echo "cmake --install failed"; exit 1
fi

check_installed_layout "$P" "$BUILD/bin"
check "nothing else goes to P/bin" test "$(ls "$P/bin")" = "orvanto"
check_desktop_files "$P"

# --- the installed program
e2e_start_display
PICS="$WORK/pictures"
make_picture_folder "$PICS" "$SOURCE/samples"
export HOME="$WORK/home" XDG_RUNTIME_DIR="$WORK/runtime"
unset XDG_CONFIG_HOME
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# One picture opened with the desktop entry's switch: the folder's five
# pictures (the PPM one through the plug-in in P/lib/orvanto/plugins), the
# named one shown first.
"$P/bin/orvanto" /Siblings=On "$PICS/sample2.png" >"$WORK/run1.log" 2>&1 &
APP_PID=$!
if WID="$(e2e_wait_window "$APP_PID")"; then
  check "/Siblings=On lists the folder and shows the named picture" \
    e2e_wait_title "$WID" "ミレット -- [2/5] $PICS/sample2.png"
  xdotool key --window "$WID" Right
  check "Right steps to the next picture of the folder" \
    e2e_wait_title "$WID" "ミレット -- [3/5] $PICS/sample3.bmp"
  check "the program ends on Esc" e2e_escape "$APP_PID" "$WID"
else
  check "the installed program opens a window" false
  cat "$WORK/run1.log"
fi
APP_PID=""
check "settings are kept in ~/.config/orvanto" test -f "$HOME/.config/orvanto/orvanto.ini"
check "nothing is written into the installed tree" \
  test -z "$(find "$P" -name '*.ini' -o -name '*.lst' -o -name 'picture*' | head -1)"

# An archive: unpacked with the archiver library from P/lib/orvanto.
"$P/bin/orvanto" "$PICS/album.zip" >"$WORK/run2.log" 2>&1 &
APP_PID=$!
if WID="$(e2e_wait_window "$APP_PID")"; then
  check "an archive is unpacked and shown" wait_title_matching "$WID" "^ミレット -- \[1/1\] .*/album_zip/inner\.gif$"
  check "the program ends on Esc" e2e_escape "$APP_PID" "$WID"
else
  check "the installed program opens an archive" false
  cat "$WORK/run2.log"
fi
APP_PID=""
e2e_finish
