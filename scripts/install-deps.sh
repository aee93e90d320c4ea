#!/usr/bin/env bash
# Installs the Debian packages Orvanto needs, by need:
#
#   scripts/install-deps.sh              what the built program needs to run
#   scripts/install-deps.sh --build      ... and what building it needs
#   scripts/install-deps.sh --test       ... and what the tests, benchmarks
#                                        and fuzzing need (implies --build)
#   scripts/install-deps.sh --headless   ... and a virtual X server to run it
#                                        without a display (Xvfb, screenshots)
#   scripts/install-deps.sh --all        everything
#
# Each group below is one list; a package goes into the group of the first
# moment it is needed (running, building, testing), one line per package or
# per small family, with a comment saying what needs it.
#
#   --wine32  also adds the i386 architecture and wine32, which the program
#             needs to run 32-bit Windows plug-ins (.spi DLLs).
set -euo pipefail

# What the built program loads when it runs.
RUN_PACKAGES=(
  libqt6widgets6 libqt6gui6 libqt6core6   # Qt (the X11 platform plug-in comes with libqt6gui6)
  libjpeg62-turbo libpng16-16 libgif7 zlib1g   # built-in picture decoders
  libarchive13 libbz2-1.0 liblzma5        # archiver libraries
  libwebp7 libwebpdemux2 libtiff6 libavif15 libheif1 libjxl0.7   # WebP, TIFF, AVIF, HEIF and JPEG XL plug-ins
  fonts-ipafont-gothic                    # Japanese glyphs of every window
  qt6-translations-l10n                   # Qt's own texts (standard buttons, file dialogs) in Japanese
  wine64                                  # runs the helper serving 64-bit Windows plug-ins (.sph)
)

# Compilers, headers and the packaging tools.
BUILD_PACKAGES=(
  build-essential cmake pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libgl-dev
  qt6-svg-dev                             # writes the desktop icon as SVG
  libjpeg62-turbo-dev libpng-dev libgif-dev zlib1g-dev
  libarchive-dev libbz2-dev liblzma-dev
  dpkg-dev file                           # cpack -G DEB: dependencies from the binaries
  libwebp-dev libtiff-dev libavif-dev libheif-dev libjxl-dev   # WebP, TIFF, AVIF, HEIF and JPEG XL plug-ins
  gcc-mingw-w64-x86-64-posix gcc-mingw-w64-i686-posix   # cross-builds the Windows plug-in helper and the tests' Windows plug-ins
)

# Test frameworks, the X server of the end-to-end tests, and the real tools
# the tests make their input with or check the output against.
TEST_PACKAGES=(
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev                # fuzzing (scripts/fuzz.sh)
  clang-format                            # the source_format test (scripts/check-format.sh)
  xvfb xauth xdotool x11-utils x11-apps imagemagick xclip   # end-to-end tests under Xvfb (xclip reads the clipboard)
  webp libtiff-tools libavif-bin libheif-examples libjxl-tools   # encoders making the plug-in tests' pictures
  python3                                 # small test-file writers (a stored RAR 4, fuzz seeds)
  libjpeg-turbo-progs feh time bc        # benchmark references: djpeg, feh, GNU time for peak memory
  openbox                                 # window placement and stacking in the end-to-end tests
  libglib2.0-bin                          # gio launch: starts desktop entries in the shortcut tests
  desktop-file-utils appstream shared-mime-info groff-base   # validators of the installed desktop files
  zip unzip p7zip-full jlha-utils arj gcab tar gzip bzip2 xz-utils ncompress cpio binutils   # archives made by real archivers
)

# Running the program without a display (scripts/run.sh under Xvfb).
HEADLESS_PACKAGES=(
  xvfb xauth xdotool x11-utils imagemagick
)

want=(RUN)
WITH_WINE32=0
for arg in "$@"; do
  case "$arg" in
    --wine32) WITH_WINE32=1 ;;
    --build) want+=(BUILD) ;;
    --test) want+=(BUILD TEST) ;;
    --headless) want+=(HEADLESS) ;;
    --all) want+=(BUILD TEST HEADLESS) ;;
    -h|--help) sed -n '2,17p' "$0"; exit 0 ;;
    *) echo "install-deps: unknown option $arg (see --help)" >&2; exit 2 ;;
  esac
done

packages=()
for group in "${want[@]}"; do
  declare -n list="${group}_PACKAGES"
  packages+=("${list[@]}")
  unset -n list
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in $(printf '%s\n' "${packages[@]}" | sort -u); do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q -o DPkg::Lock::Timeout=900 --no-install-recommends "${missing[@]}"
fi

if [ "$WITH_WINE32" -eq 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
    # An i386 index that fails to download counts as a failure: with part of
    # the indexes the i386 libraries fall behind their amd64 twins and apt
    # cannot resolve wine32 anyway.
    if ! $SUDO apt-get update -q ||
       ! $SUDO apt-get install -y -q -o DPkg::Lock::Timeout=900 --no-install-recommends wine32:i386; then
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
echo "install-deps: present: $(printf '%s\n' "${want[@]}" | awk '!seen[$0]++' | tr 'A-Z\n' 'a-z ')"
