#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: first under
# AddressSanitizer + UndefinedBehaviorSanitizer, then the plain build.
# Options: --label L (only tests labelled L), --no-asan.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
label=""
asan=1
while (($#)); do
  case "$1" in
    --label) label=$2; shift 2 ;;
    --no-asan) asan=0; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
"$root/scripts/setup.sh"
# Most tests wait on simulated instruments (protocol pauses, time-outs) rather than compute, so
# more of them run at once than there are cores.
ctest_args=(--output-on-failure -j "${TAVLO_TEST_JOBS:-6}" --timeout 300)
[ -n "$label" ] && ctest_args+=(-L "$label")
export QT_QPA_PLATFORM=offscreen
status=0
if ((asan)); then
  "$root/scripts/build.sh" "$root/build-asan" -DTAVLO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp
  echo "== Tests under AddressSanitizer + UndefinedBehaviorSanitizer =="
  (cd "$root/build-asan" && ctest "${ctest_args[@]}") || status=1
  unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
fi
"$root/scripts/build.sh" "$root/build"
echo "== Tests =="
(cd "$root/build" && ctest "${ctest_args[@]}") || status=1
exit $status
