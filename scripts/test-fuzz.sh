#!/bin/sh
# Fuzzes the archive reader and the extraction, the names lists read from disk, and pelpack's
# lookup of the payload in a PE file, for a short while (clang, libFuzzer, ASan, UBSan).
#   FUZZ_SECONDS  how long to run (default 20)
# Exits non-zero when the fuzzer finds a crash; the crashing input is left in the build folder.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}/fuzz
SECONDS_TO_RUN=${FUZZ_SECONDS:-20}

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
  -DPEL_TESTS=OFF -DPEL_FUZZ=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" >/dev/null
cmake --build "$BUILD" -j 2 --target archive_fuzz names_fuzz pe_fuzz

# Each target for its share of the time. New inputs go to a scratch folder (the first one named),
# never into the committed corpus.
fuzz() {  # TARGET SECONDS CORPUS
  rm -rf "$BUILD/corpus-work-$1"
  mkdir -p "$BUILD/corpus-work-$1" "$BUILD/artifacts"
  "$BUILD/tests/fuzz/$1" -max_total_time="$2" -max_len=4096 -timeout=10 -print_final_stats=1 \
    -print_funcs=0 -artifact_prefix="$BUILD/artifacts/$1-" "$BUILD/corpus-work-$1" "$ROOT/tests/fuzz/$3"
}
fuzz archive_fuzz $((SECONDS_TO_RUN / 2)) corpus
fuzz names_fuzz $((SECONDS_TO_RUN / 4)) names-corpus
fuzz pe_fuzz $((SECONDS_TO_RUN / 4)) pe-corpus
