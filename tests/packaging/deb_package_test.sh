#!/usr/bin/env bash
# The Debian package made by `cpack -G DEB`: its dependencies come from the
# binaries; `apt-get install ./orvanto_*.deb` installs it on THIS machine,
# `orvanto` from the PATH shows the samples under Xvfb, and removing the
# package leaves nothing behind but the user's settings.
# Runs only as root with a working apt and dpkg, and only when no orvanto
# package is installed already; exits 77 (skipped) otherwise.
#   deb_package_test.sh BUILD_DIR SOURCE_DIR
BUILD="$1"
SOURCE="$2"

skip() { echo "SKIPPED: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "installs a package on this machine: runs only as root"
command -v apt-get >/dev/null && command -v dpkg >/dev/null || skip "apt-get and dpkg are needed"
command -v dpkg-shlibdeps >/dev/null || skip "dpkg-shlibdeps (dpkg-dev) is needed to compute the dependencies"
command -v cpack >/dev/null || skip "cpack is needed"
if dpkg-query -W -f='${Status}' orvanto 2>/dev/null | grep -q 'install ok'; then
  skip "an orvanto package is installed already; it is not touched"
fi
apt-cache policy >/dev/null 2>&1 || skip "apt is not usable here (apt-cache fails)"
[ -w /var/lib/dpkg ] || skip "the package database is read-only here"

. "$SOURCE/tests/e2e/e2e_common.sh"
. "$(dirname "$0")/packaging_common.sh"

WORK="$(mktemp -d)"
chmod 755 "$WORK"   # apt's sandbox user reads the package from here
INSTALLED=""
APT=(apt-get -y -q -o DPkg::Lock::Timeout=900 -o APT::Sandbox::User=root)
cleanup() {
  [ -n "${APP_PID:-}" ] && kill "$APP_PID" 2>/dev/null
  e2e_stop_display 2>/dev/null
  # Never leave the package on the machine, whatever failed above.
  if [ -n "$INSTALLED" ] && dpkg-query -W -f='${Status}' orvanto 2>/dev/null | grep -q 'install ok'; then
    DEBIAN_FRONTEND=noninteractive "${APT[@]}" purge orvanto >/dev/null 2>&1
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT

# --- make the package
if ! (cd "$WORK" && cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$WORK/pkg") >"$WORK/cpack.log" 2>&1; then
  cat "$WORK/cpack.log"; echo "cpack failed"; exit 1
fi
DEB="$(ls "$WORK"/pkg/orvanto_*.deb 2>/dev/null | head -1)"
[ -n "$DEB" ] || { cat "$WORK/cpack.log"; echo "no orvanto_*.deb made"; exit 1; }
echo "package: $(basename "$DEB")"
DEPENDS="$(dpkg-deb -f "$DEB" Depends)"
echo "Depends: $DEPENDS"
check "the dependencies name the Qt libraries the program links" grep -q 'libqt6widgets6' <<<"$DEPENDS"
check "the dependencies name the archive and picture libraries" \
  bash -c 'grep -q libarchive13 <<<"$1" && grep -q libjpeg62-turbo <<<"$1" && grep -q libpng16-16 <<<"$1"' _ "$DEPENDS"
check "the dependencies carry versions from the shared libraries' symbols" grep -q 'libc6 (>= ' <<<"$DEPENDS"
dpkg-deb -c "$DEB" | awk '{print $6}' | sed 's|^\./|/|; s|/$||' | grep -v '^$' > "$WORK/contents"
check "the package installs under /usr" test -z "$(grep -v '^/usr' "$WORK/contents" | grep -vx '/' | head -1)"

# --- install it
INSTALLED=yes
if ! DEBIAN_FRONTEND=noninteractive "${APT[@]}" install --no-install-recommends "$DEB" >"$WORK/apt.log" 2>&1; then
  tail -30 "$WORK/apt.log"; echo "apt-get install failed"; exit 1
fi
check "orvanto is on the PATH" test "$(command -v orvanto)" = /usr/bin/orvanto
check_installed_layout /usr "$BUILD/bin"
check_desktop_files /usr

# --- run it as a user would: `orvanto` from the PATH on the samples
e2e_start_display
PICS="$WORK/pictures"
make_picture_folder "$PICS" "$SOURCE/samples"
HOME_DIR="$WORK/home"
mkdir -p "$HOME_DIR" "$WORK/runtime"
chmod 700 "$WORK/runtime"
(cd "$PICS" && HOME="$HOME_DIR" XDG_RUNTIME_DIR="$WORK/runtime" XDG_CONFIG_HOME= exec orvanto "$PICS") >"$WORK/run.log" 2>&1 &
APP_PID=$!
if WID="$(e2e_wait_window "$APP_PID")"; then
  # The folder's five pictures and the one in album.zip.
  check "the caption shows the first picture of the samples" \
    e2e_wait_title "$WID" "ミレット -- [1/6] $PICS/sample1.jpg"
  check "the program ends on Esc" e2e_escape "$APP_PID" "$WID"
else
  check "orvanto from the PATH opens a window" false
  cat "$WORK/run.log"
fi
APP_PID=""
e2e_stop_display
check "the settings are in ~/.config/orvanto" test -f "$HOME_DIR/.config/orvanto/orvanto.ini"
check "nothing was written beside the installed program" \
  test -z "$(find /usr/bin /usr/lib/orvanto /usr/share/orvanto -maxdepth 1 \( -name 'orvanto.ini' -o -name 'ov[1-6].lst' \) 2>/dev/null | head -1)"

# --- remove it
if ! DEBIAN_FRONTEND=noninteractive "${APT[@]}" purge orvanto >"$WORK/apt-remove.log" 2>&1; then
  tail -30 "$WORK/apt-remove.log"; echo "apt-get purge failed"
fi
INSTALLED=""
check "the package is gone" bash -c "! dpkg-query -W -f='\${Status}' orvanto 2>/dev/null | grep -q 'install ok'"
left=""
while read -r f; do
  [ -f "$f" ] || [ -L "$f" ] && left="$left $f"
done < "$WORK/contents"
for d in /usr/lib/orvanto /usr/share/orvanto; do [ -e "$d" ] && left="$left $d"; done
check "no file of the package is left behind:${left:- none}" test -z "$left"
check "orvanto is no longer on the PATH" bash -c '! command -v orvanto'
check "the user's settings stay" test -f "$HOME_DIR/.config/orvanto/orvanto.ini"
e2e_finish
