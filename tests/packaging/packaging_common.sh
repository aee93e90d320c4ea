# Checks shared by the install-tree and Debian-package tests. Needs
# e2e_common.sh (check, e2e_* helpers) sourced first.

ICON_SIZES="16 22 24 32 48 64 128 256"

# check_installed_layout PREFIX BUILD_BIN_DIR
check_installed_layout() {
  local p="$1" bin="$2" name missing=""
  check "the program is P/bin/orvanto" test -x "$p/bin/orvanto"
  # Everything the build puts beside the program, but the program and its
  # guide, lands in P/lib/orvanto.
  for name in $(cd "$bin" && find . -mindepth 1 ! -name orvanto ! -name help.html ! -name '*.ini' ! -name '*.lst'); do
    [ -e "$p/lib/orvanto/$name" ] || missing="$missing $name"
  done
  check "build/bin's libraries, helpers and plug-ins are in P/lib/orvanto (missing:$missing)" test -z "$missing"
  check "archiver libraries are installed" test -f "$p/lib/orvanto/libunzip32.so"
  check "the plug-in folder is installed" test -f "$p/lib/orvanto/plugins/pnm.spi"
  check "help.html is in P/share/orvanto" test -s "$p/share/orvanto/help.html"
  check "the desktop entry is installed" test -f "$p/share/applications/org.example.orvanto.desktop"
  check "the AppStream metainfo is installed" test -f "$p/share/metainfo/org.example.orvanto.metainfo.xml"
  check "the MIME package is installed" test -f "$p/share/mime/packages/orvanto.xml"
  check "the manual page is installed" test -f "$p/share/man/man1/orvanto.1"
  check "the SVG icon is installed" test -s "$p/share/icons/hicolor/scalable/apps/orvanto.svg"
  local size
  for size in $ICON_SIZES; do
    check "the ${size}x${size} icon is installed" png_is_square "$p/share/icons/hicolor/${size}x${size}/apps/orvanto.png" "$size"
  done
}

# png_is_square FILE SIZE: a PNG of SIZE x SIZE pixels (read from its header).
png_is_square() {
  local header
  header="$(od -An -tx1 -j16 -N8 "$1" 2>/dev/null | tr -d ' \n')" || return 1
  [ "$header" = "$(printf '%08x%08x' "$2" "$2")" ]
}

# check_desktop_files PREFIX: the validators where they are installed.
check_desktop_files() {
  local p="$1" out
  if command -v desktop-file-validate >/dev/null; then
    out="$(desktop-file-validate "$p/share/applications/org.example.orvanto.desktop" 2>&1)"
    check "desktop-file-validate passes${out:+: $out}" test -z "$out"
  else
    echo "note: desktop-file-validate is not installed; not run"
  fi
  if command -v appstreamcli >/dev/null; then
    check "appstreamcli validate passes" appstreamcli validate --no-net "$p/share/metainfo/org.example.orvanto.metainfo.xml"
  else
    echo "note: appstreamcli is not installed; not run"
  fi
  if command -v update-mime-database >/dev/null; then
    local mime; mime="$(mktemp -d)"
    mkdir -p "$mime/packages"
    cp "$p/share/mime/packages/orvanto.xml" "$mime/packages/"
    update-mime-database "$mime" >/dev/null 2>&1
    check "the MIME package defines .gza, .bza and .bel" \
      test -f "$mime/application/x-gza.xml" -a -f "$mime/application/x-bza.xml" -a -f "$mime/application/x-bel.xml"
    rm -rf "$mime"
  fi
  if command -v groff >/dev/null; then
    out="$(LC_ALL=C.UTF-8 groff -man -ww -z "$p/share/man/man1/orvanto.1" 2>&1)"
    check "the manual page formats without warnings${out:+: $out}" test -z "$out"
    check "the manual page documents /Siblings" grep -q 'Siblings=On' "$p/share/man/man1/orvanto.1"
  fi
}

# make_picture_folder FOLDER SAMPLES: the four samples, a PPM picture (read
# by the PNM plug-in) and album.zip holding inner.gif.
make_picture_folder() {
  local dir="$1"
  mkdir -p "$dir"
  cp "$2"/sample1.jpg "$2"/sample2.png "$2"/sample3.bmp "$2"/sample4.gif "$dir/"
  { printf 'P6\n4 3\n255\n'; head -c 36 /dev/zero | tr '\0' '\200'; } > "$dir/sample5.ppm"
  local z; z="$(mktemp -d)"
  cp "$2/sample4.gif" "$z/inner.gif"
  if command -v zip >/dev/null; then
    (cd "$z" && zip -q "$dir/album.zip" inner.gif)
  else
    python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1], "w").write(sys.argv[2], "inner.gif")' "$dir/album.zip" "$z/inner.gif"
  fi
  rm -rf "$z"
}

# wait_title_matching WID REGEX: waits up to 10 s for a matching title.
wait_title_matching() {
  local wid="$1" re="$2" t=""
  for _ in $(seq 100); do
    t="$(xdotool getwindowname "$wid" 2>/dev/null)"
    [[ "$t" =~ $re ]] && return 0
    sleep 0.1
  done
  echo "title is: $t"
  return 1
}
