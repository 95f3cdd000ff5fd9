#!/usr/bin/env bash
# The main job: installs what is missing, builds, starts the simulated laboratory and lets the
# engine cycle run a measurement on it once the laboratory's device setup has been validated
# (scripts/run.sh [FILE.mea [RUNS]]; the file must be made for that setup; default: the
# laboratory's example of four-wire resistance against furnace temperature, read through the
# simulated GPIB adapter, multimeter and Eurotherm controller, 4 runs). The measurement is
# saved and exported as JSON; the laboratory's data folder is out/lab.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
file=${1:-}
runs=${2:-4}
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build" >/dev/null
cli="$root/build/apps/tavlo-cli/tavlo-cli"
sim="$root/build/sim/tavlo-sim"
out="$root/out"
lab="$out/lab"
mkdir -p "$lab"
rm -f "$lab/Utility/ports.ini" "$lab/Device Setups/simlab.tdq"
"$sim" --data-folder "$lab" &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true; wait $sim_pid 2>/dev/null || true' EXIT
# The port map is written last, when the laboratory, its setup and examples are ready.
for _ in $(seq 100); do
  grep -q '^\[Ports\]' "$lab/Utility/ports.ini" 2>/dev/null && break
  sleep 0.1
done
if [ -z "$file" ]; then
  # tavlo-sim writes its examples afresh at every start; this one runs where it lies.
  measurement="$lab/Measurements/Examples/FourWireFurnace.mea"
else
  measurement="$out/$(basename "$file")"
  cp "$file" "$measurement"
fi
name=$(basename "$measurement" .mea)
"$cli" run "$measurement" --data-folder "$lab" --setup "$lab/Device Setups/simlab.tdq" --runs "$runs"
"$cli" info "$measurement"
"$cli" dump "$measurement" > "$out/$name.json"
echo "JSON export: $out/$name.json ($(wc -c < "$out/$name.json") bytes)"
