#!/usr/bin/env bash
# Builds the archiver fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz, makes seed archives with the
# real tools, and runs the targets two at a time at the lowest priority.
#   scripts/fuzz_archivers.sh [seconds per target, default 300] [target...]
# Targets: zip lha cab arj bga tar rar 7z (default: all).
# Findings are written to build-fuzz/fuzz/artifacts/arc-<target>-*.
# Regression inputs in tests/archivers/fuzz-regressions/<target>-* join the
# corpus, except <target>-hang-*: inputs on which the reading library itself
# never returns (the program ends such a library by the helper's watchdog).
# In-process they would stop the fuzzer at once; each is run alone instead,
# and the script says whether the library still hangs on it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVANTO_FUZZ_BUILD:-$root/build-fuzz}
seconds=${1:-300}
if [ $# -gt 0 ]; then shift; fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(zip lha cab arj bga tar rar 7z)
fi

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g"
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVANTO_BUILD_FUZZERS=ON -DORVANTO_BUILD_TESTS=OFF -DORVANTO_BUILD_BENCHMARKS=OFF \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
fi
nice -n 19 cmake --build "$build" -j2 --target $(printf 'fuzz_arc_%s ' "${targets[@]}")

seeds="$build/fuzz/arc-seeds"
if [ ! -d "$seeds" ]; then
  work=$(mktemp -d)
  mkdir -p "$seeds" "$work/in/sub"
  printf 'hello\n' > "$work/in/a.txt"
  head -c 3000 /dev/urandom > "$work/in/sub/b.bin"
  : > "$work/in/empty.txt"
  (cd "$work/in" && zip -qr "$seeds/zip-1.zip" . && zip -q0r "$seeds/zip-2.zip" .) || true
  (cd "$work/in" && lha -aq "$seeds/lha-1.lzh" a.txt sub/b.bin) 2>/dev/null || true
  (cd "$work/in" && gcab -c -z "$seeds/cab-1.cab" a.txt sub/b.bin && gcab -c "$seeds/cab-2.cab" a.txt) || true
  (cd "$work/in" && tar cf "$seeds/tar-1.tar" . && tar czf "$seeds/tar-2.tgz" a.txt && gzip -c a.txt > "$seeds/tar-3.gz") || true
  (cd "$work/in" && 7z a -bd -y "$seeds/7z-1.7z" . >/dev/null) || true
  rm -rf "$work"
fi
# Regression inputs of earlier findings join the corpus.
reg="$root/tests/archivers/fuzz-regressions"

mkdir -p "$build/fuzz/artifacts"
run() {
  local t=$1
  local corpus="$build/fuzz/corpus/arc-$t"
  mkdir -p "$corpus"
  cp -n "$seeds/$t"-* "$corpus"/ 2>/dev/null || true
  # No RAR writer exists here: the RAR 4 and RAR 5 archives of the tests seed it.
  if [ "$t" = rar ]; then
    cp -n "$root/tests/data/archives/rar4-japanese-names.rar" "$root/tests/data/archives/rar5-zip-inside.rar" "$corpus"/
  fi
  if [ -d "$reg" ]; then
    for f in "$reg/$t"-*; do
      [ -f "$f" ] || continue
      case "$(basename "$f")" in
        "$t"-hang-*) ;;
        *) cp -n "$f" "$corpus"/ ;;
      esac
    done
  fi
  echo "== fuzz_arc_$t for ${seconds}s"
  ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 \
  nice -n 19 "$build/fuzz/fuzz_arc_$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="$build/fuzz/artifacts/arc-$t-" "$corpus" \
    > "$build/fuzz/arc-$t.log" 2>&1
  local rc=$?
  echo "== fuzz_arc_$t ended with $rc ($(grep -c '^#' "$build/fuzz/arc-$t.log") status lines)"
  return $rc
}
# Known hangs of the reading library: still hanging is expected.
for t in "${targets[@]}"; do
  for f in "$reg/$t"-hang-*; do
    [ -f "$f" ] || continue
    if ASAN_OPTIONS=detect_leaks=0 nice -n 19 "$build/fuzz/fuzz_arc_$t" -timeout=10 "$f" >/dev/null 2>&1; then
      echo "== $(basename "$f"): the library no longer hangs; it can join the corpus"
    else
      echo "== $(basename "$f"): the library still hangs (ended after 10 s)"
    fi
  done
done
status=0
for ((i = 0; i < ${#targets[@]}; i += 2)); do
  run "${targets[$i]}" &
  first=$!
  second=""
  if [ $((i + 1)) -lt ${#targets[@]} ]; then
    run "${targets[$((i + 1))]}" &
    second=$!
  fi
  wait $first || status=1
  if [ -n "$second" ]; then wait $second || status=1; fi
done
exit $status
