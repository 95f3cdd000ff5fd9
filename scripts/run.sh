#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the headless runner: the engine cycle
# drives the example measurement for a few runs (scripts/run.sh [FILE.mea [RUNS]]), saves it,
# and exports it as JSON, all into out/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
file=${1:-$root/examples/Demo-run.mea}
runs=${2:-5}
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build" >/dev/null
cli="$root/build/apps/tavlo-cli/tavlo-cli"
out="$root/out"
mkdir -p "$out/data"
name=$(basename "$file" .mea)
cp "$file" "$out/$name.mea"
"$cli" run "$out/$name.mea" --data-folder "$out/data" --setup-id 0 --assume-validated --runs "$runs"
"$cli" info "$out/$name.mea"
"$cli" dump "$out/$name.mea" > "$out/$name.json"
echo "JSON export: $out/$name.json ($(wc -c < "$out/$name.json") bytes)"
