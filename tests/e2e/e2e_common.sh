# Shared helpers for the end-to-end tests: a private Xvfb display, a copy of
# the program folder in a temporary folder, and window lookups by xdotool.
set -euo pipefail

# The program runs on X11 whatever platform the caller's environment names.
export QT_QPA_PLATFORM=xcb

# A missing tool skips the test (CTest's SKIP_RETURN_CODE 77) with its reason.
E2E_SKIP=77
e2e_require_tools() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "skipped: $tool is not installed"
      exit "$E2E_SKIP"
    fi
  done
}
e2e_require_tools Xvfb xdotool xdpyinfo

E2E_FAILURES=0
E2E_PASSES=0

# e2e_start_display [WIDTHxHEIGHT]: a private Xvfb screen (1280x900 unless told).
e2e_start_display() {
  local n size="${1:-1280x900}"
  for n in $(seq 0 40); do
    E2E_DISPLAY=":$(( 200 + (RANDOM % 500) ))"
    Xvfb "$E2E_DISPLAY" -screen 0 "${size}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
    E2E_XVFB_PID=$!
    export DISPLAY="$E2E_DISPLAY"
    for _ in $(seq 50); do
      if xdpyinfo >/dev/null 2>&1; then return 0; fi
      kill -0 "$E2E_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill "$E2E_XVFB_PID" 2>/dev/null || true
  done
  echo "could not start Xvfb" >&2
  exit 1
}

e2e_stop_display() {
  [ -n "${E2E_WM_PID:-}" ] && kill "$E2E_WM_PID" 2>/dev/null || true
  kill "$E2E_XVFB_PID" 2>/dev/null || true
}

# e2e_start_wm: runs a window manager (openbox) on the display, so that
# windows get frames, title bars and a stacking order as on a desktop.
# Gives 1 when no window manager is installed.
e2e_start_wm() {
  command -v openbox >/dev/null 2>&1 || return 1
  openbox --sm-disable >/dev/null 2>&1 &
  E2E_WM_PID=$!
  for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
    sleep 0.1
  done
  return 1
}

# e2e_copy_program BIN_DIR -> prints the folder holding the copy
e2e_copy_program() {
  local dest
  dest="$(mktemp -d)"
  cp -r "$1"/. "$dest/"
  echo "$dest"
}

# e2e_wait_window PID -> prints the id of the program's main window
e2e_wait_window() {
  local pid="$1" wid=""
  for _ in $(seq 150); do
    wid="$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1 || true)"
    [ -n "$wid" ] && { echo "$wid"; return 0; }
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# e2e_wait_exit PID SECONDS -> 0 when the process ended in time
e2e_wait_exit() {
  local pid="$1" limit="$2"
  for _ in $(seq $(( limit * 10 ))); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null || true; return 0; }
    sleep 0.1
  done
  return 1
}

# e2e_escape PID WID: presses Esc until the program has ended (a busy
# machine may still be starting it up when the first press arrives).
e2e_escape() {
  local pid="$1" wid="$2"
  for _ in $(seq 10); do
    xdotool key --window "$wid" Escape 2>/dev/null || true
    # A program ending on the press can leave the key down in the X server,
    # and its auto-repeat would reach the next program started.
    if e2e_wait_exit "$pid" 2; then
      xdotool keyup Escape 2>/dev/null || true
      return 0
    fi
  done
  kill "$pid" 2>/dev/null || true
  return 1
}

# e2e_window_named PID PATTERN -> prints the id of the program's visible
# window whose name matches, waiting up to E2E_WINDOW_TRIES tenths of a
# second (default 100).
e2e_window_named() {
  local w
  for _ in $(seq "${E2E_WINDOW_TRIES:-100}"); do
    w="$(xdotool search --all --onlyvisible --pid "$1" --name "$2" 2>/dev/null | head -1 || true)"
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}

# e2e_wait_title WID TEXT: waits up to 10 s for the window title.
e2e_wait_title() {
  local wid="$1" want="$2"
  for _ in $(seq 100); do
    [ "$(xdotool getwindowname "$wid" 2>/dev/null)" = "$want" ] && return 0
    sleep 0.1
  done
  echo "title is: $(xdotool getwindowname "$wid" 2>/dev/null)"
  return 1
}

check() {
  local what="$1"; shift
  if "$@"; then
    E2E_PASSES=$(( E2E_PASSES + 1 )); echo "ok: $what"
  else
    E2E_FAILURES=$(( E2E_FAILURES + 1 )); echo "FAILED: $what"
  fi
}

# ini_value FILE SECTION KEY
ini_value() {
  awk -v s="[$2]" -v k="$3" '
    { sub(/\r$/, "") }
    /^\[/ { insec = (tolower($0) == tolower(s)); next }
    insec { i = index($0, "="); if (i > 0 && tolower(substr($0, 1, i - 1)) == tolower(k)) { print substr($0, i + 1); exit } }
  ' "$1"
}

e2e_finish() {
  echo "${E2E_PASSES} passed, ${E2E_FAILURES} failed"
  [ "$E2E_FAILURES" -eq 0 ]
}
