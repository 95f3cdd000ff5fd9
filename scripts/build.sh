#!/usr/bin/env bash
# Configures and builds one build folder: scripts/build.sh [DIR [cmake options...]]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build}
shift || true
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
# Paths relative to the checkout, so that another clone of the same sources hits the cache.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root" -B "$dir" -G Ninja "$@"
else
  cmake "$dir" "$@" >/dev/null
fi
cmake --build "$dir" -j "${TAVLO_JOBS:-2}"
