#!/usr/bin/env bash
# The main job: installs what is missing, builds, starts the simulated laboratory and lets the
# engine cycle run a measurement on it (scripts/run.sh [FILE.mea [RUNS]]; default: a resistance
# read through the simulated GPIB adapter and multimeter, 5 runs). The measurement is saved
# and exported as JSON, all into out/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
file=${1:-$root/examples/Resistance.mea}
runs=${2:-5}
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build" >/dev/null
cli="$root/build/apps/tavlo-cli/tavlo-cli"
sim="$root/build/sim/tavlo-sim"
out="$root/out"
lab="$out/lab"
mkdir -p "$lab"
rm -f "$lab/Utility/ports.ini"
"$sim" --data-folder "$lab" &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true; wait $sim_pid 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ -f "$lab/Utility/ports.ini" ] && break
  sleep 0.1
done
name=$(basename "$file" .mea)
cp "$file" "$out/$name.mea"
"$cli" run "$out/$name.mea" --data-folder "$lab" --setup-id 0 --assume-validated --runs "$runs"
"$cli" info "$out/$name.mea"
"$cli" dump "$out/$name.mea" > "$out/$name.json"
echo "JSON export: $out/$name.json ($(wc -c < "$out/$name.json") bytes)"
