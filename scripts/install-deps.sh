#!/usr/bin/env bash
# Installs every Debian package needed to build, run and test Orvanto.
set -euo pipefail

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
  # benchmark references: djpeg, feh, and GNU time for peak memory
  libjpeg-turbo-progs feh time bc
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
echo "install-deps: all packages present"
