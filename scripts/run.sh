#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the headless runner on an example
# measurement (scripts/run.sh [FILE.mea]): shows it, saves it again in the current format and
# exports it as JSON, into out/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
file=${1:-$root/examples/Example.mea}
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build" >/dev/null
cli="$root/build/apps/tavlo-cli/tavlo-cli"
out="$root/out"
mkdir -p "$out"
name=$(basename "$file" .mea)
"$cli" info "$file"
"$cli" resave "$file" "$out/$name.mea"
"$cli" dump "$out/$name.mea" > "$out/$name.json"
echo "JSON export: $out/$name.json ($(wc -c < "$out/$name.json") bytes)"
