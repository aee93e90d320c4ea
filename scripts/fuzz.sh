#!/usr/bin/env bash
# Builds the decoder fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz and runs each in turn.
#   scripts/fuzz.sh [seconds per target, default 300] [target...]
# Targets: bmp icon jpeg png gif metafile olebitmap orientation and the
# plug-ins spi_pnm spi_tga spi_pcx spi_webp spi_tiff spi_avif spi_heif
# spi_jxl (default: all).
# Findings are written to build-fuzz/fuzz/artifacts/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVANTO_FUZZ_BUILD:-$root/build-fuzz}
seconds=${1:-300}
if [ $# -gt 0 ]; then shift; fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(bmp icon jpeg png gif metafile olebitmap orientation
    spi_pnm spi_tga spi_pcx spi_webp spi_tiff spi_avif spi_heif spi_jxl)
fi

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g -DFUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION"
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVANTO_BUILD_FUZZERS=ON -DORVANTO_BUILD_TESTS=OFF -DORVANTO_BUILD_BENCHMARKS=OFF \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
fi
cmake --build "$build" -j2 --target $(printf 'fuzz_%s ' "${targets[@]}")

seeds="$build/fuzz/seeds"
[ -d "$seeds" ] || python3 "$root/scripts/make_fuzz_seeds.py" "$seeds"
mkdir -p "$build/fuzz/artifacts"
status=0
for t in "${targets[@]}"; do
  corpus="$build/fuzz/corpus/$t"
  mkdir -p "$corpus"
  [ -d "$seeds/$t" ] && cp -n "$seeds/$t"/* "$corpus"/ 2>/dev/null || true
  # Regression inputs of earlier findings join the corpus.
  reg="$root/tests/decode/data/fuzz-regressions"
  [ -d "$reg" ] && cp -n "$reg"/* "$corpus"/ 2>/dev/null || true
  echo "== fuzz_$t for ${seconds}s"
  ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 \
  "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=3072 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$build/fuzz/artifacts/$t-" "$corpus" || status=1
done
exit $status
