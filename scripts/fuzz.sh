#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer and runs one: scripts/fuzz.sh TARGET [SECONDS]
# e.g. scripts/fuzz.sh fuzz_component_text 60. New inputs go to build-fuzz/corpus-TARGET.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=${1:?target}
seconds=${2:-60}
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
if [ ! -f "$root/build-fuzz/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -G Ninja -DTAVLO_FUZZ=ON \
    -DTAVLO_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$root/build-fuzz" --target "$target" -j "${TAVLO_JOBS:-2}"
corpus_dir=$(grep -h "tavlo_fuzz($target " "$root"/fuzz/*.cmake | sed -E 's/.*CORPUS ([^ )]+).*/\1/')
work="$root/build-fuzz/corpus-$target"
mkdir -p "$work"
exe=$(find "$root/build-fuzz/fuzz" -maxdepth 1 -name "$target" -type f)
"$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 "$work" "$root/fuzz/corpus/$corpus_dir"
