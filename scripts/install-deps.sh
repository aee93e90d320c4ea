#!/usr/bin/env bash
# Installs every Debian package needed to build, run and test Orvanto.
#   --wine32  also adds the i386 architecture and wine32, which the program
#             needs to run 32-bit Windows plug-ins (.spi DLLs).
set -euo pipefail

WITH_WINE32=0
for arg in "$@"; do
  case "$arg" in
    --wine32) WITH_WINE32=1 ;;
    *) echo "install-deps: unknown option $arg" >&2; exit 2 ;;
  esac
done

PACKAGES=(
  # build
  build-essential cmake pkg-config ccache
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  libjpeg62-turbo-dev libpng-dev libgif-dev zlib1g-dev
  libarchive-dev libbz2-dev liblzma-dev
  # tests, benchmarks and fuzzing
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
  # run: Japanese glyphs, X server for headless runs and end-to-end tests
  fonts-ipafont-gothic xvfb xauth xdotool x11-utils x11-apps imagemagick
  # gio launch: starts desktop entries in the shortcut tests
  libglib2.0-bin
  # Windows plug-ins: Wine runs the helper that loads them; MinGW-w64
  # cross-builds that helper and the tests' Windows plug-ins
  wine64 gcc-mingw-w64-x86-64-posix gcc-mingw-w64-i686-posix
  # real archivers used by the tests to make archives
  zip unzip p7zip-full jlha-utils arj gcab tar gzip bzip2 xz-utils ncompress cpio binutils
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

if [ "$WITH_WINE32" -eq 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
    if ! $SUDO apt-get update -q || ! $SUDO apt-get install -y -q --no-install-recommends wine32:i386; then
      echo "install-deps: wine32 could not be installed; 32-bit Windows plug-ins stay unavailable" >&2
      # Leave no half-added architecture behind, so later apt runs still work.
      if ! dpkg -l | awk '$1 == "ii" && $4 == "i386"' | grep -q .; then
        $SUDO dpkg --remove-architecture i386 || true
        $SUDO apt-get update -q || true
      fi
      exit 1
    fi
  fi
fi
echo "install-deps: all packages present"
