#!/usr/bin/env bash
# Runs every test of reelkiln: the Linux build, the same under AddressSanitizer
# and UndefinedBehaviorSanitizer, the movie tests under ThreadSanitizer, the
# fuzz targets, and the Windows build under wine; each Linux test program
# also runs once whole in shuffled order.  First it installs what the tests
# need and the machine lacks (tools/deps.sh; apt-get, through sudo unless
# root).
#
# Every step runs even when one before it failed (except the steps that need
# a build that failed), and the run ends with one line of every step and its
# result, e.g.
#
#   test.sh: linux ok, shuffled ok, asan ok, tsan ok, fuzz ok, windows-build ok, windows ok, dialog-glue ok, scenes ok
#
# and "test.sh: FAILED: <steps>" after it when any failed; the exit code is
# then 1.
#
# The movie test over 4 GB (label "large") runs only with 12 GB free on the
# disk that holds the temporary directory (where it writes), or always with
# RK_LARGE=1.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash tools/deps.sh

large=(-LE large)
# The test's scene lives where std::filesystem::temp_directory_path() says.
tmpdir=${TMPDIR:-${TMP:-${TEMP:-${TEMPDIR:-/tmp}}}}
free_kb=$(df -Pk "$tmpdir" | awk 'NR==2 {print $4}')
if [ "${RK_LARGE:-0}" = 1 ] || [ "$free_kb" -ge $((12 * 1024 * 1024)) ]; then large=(); fi

# ---- Steps and their results ----------------------------------------------------
names=()
declare -A result=()
note() { names+=("$1"); result[$1]=$2; }
# step NAME FUNCTION: runs the function in a subshell of its own with -e in
# force (a function run as the condition of an if would run with -e off),
# and notes its result.
step() {
  local rc
  echo "== test.sh: $1"
  set +e
  (set -e; "$2")
  rc=$?
  set -e
  if [ $rc = 0 ]; then note "$1" ok; else note "$1" FAILED; fi
}
summary() {
  local line="" failed="" n
  for n in "${names[@]}"; do
    line+="${line:+, }$n ${result[$n]}"
    [ "${result[$n]}" != FAILED ] || failed+="${failed:+, }$n"
  done
  echo
  echo "test.sh: $line"
  if [ -n "$failed" ]; then echo "test.sh: FAILED: $failed"; fi
}

# ---- Linux ------------------------------------------------------------------------
# The demo may have configured build/ without the tests (on a machine without
# GoogleTest): they are asked for by name.
linux_built=0
linux_build() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREELKILN_TESTS=ON -DREELKILN_WERROR=ON >/dev/null
  cmake --build build -j"$jobs"
}
linux() {
  linux_build
  ctest --test-dir build -j"$jobs" --output-on-failure "${large[@]}"
}
# Each Linux test program once more, whole and in random order (GoogleTest
# prints the seed it drew): no test may lean on another one having run
# first, or on running alone.  Each runs in its folder, as CTest runs it.
shuffled() {
  local prog bad=0
  for prog in build/tests/*/test_*; do
    [ -f "$prog" ] && [ -x "$prog" ] || continue
    echo "== $prog --gtest_shuffle"
    (cd "$(dirname "$prog")" && "./$(basename "$prog")" --gtest_shuffle --gtest_brief=1) || bad=1
  done
  return $bad
}
asan() {
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DREELKILN_SANITIZE=ON -DREELKILN_BENCH=OFF -DREELKILN_WERROR=ON >/dev/null
  cmake --build build-asan -j"$jobs"
  ctest --test-dir build-asan -j"$jobs" --output-on-failure -LE large
}
# The movie writers load frames ahead on worker threads: the movie tests
# and the worker-side loader's tests once more under ThreadSanitizer, which
# ends the run at its first report.
tsan() {
  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREELKILN_TSAN=ON -DREELKILN_BENCH=OFF -DREELKILN_WERROR=ON >/dev/null
  cmake --build build-tsan -j"$jobs" --target test_movie test_image
  export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
  (cd build-tsan/tests/movie && ./test_movie --gtest_brief=1)
  (cd build-tsan/tests/image && ./test_image --gtest_brief=1 --gtest_filter='Job.*')
}
# The fuzz targets (clang): every corpus replayed, then each target briefly.
fuzz() { bash tools/fuzz.sh; }

step linux linux
# Whether the programs of build/ are this tree's: a failed build leaves
# older ones behind, which neither the shuffled run nor the Windows
# comparison may take for these.
if [ "${result[linux]}" = ok ] || (linux_build >/dev/null 2>&1); then linux_built=1; fi
if [ $linux_built = 1 ]; then step shuffled shuffled; else note shuffled "skipped (no Linux build)"; fi
step asan asan
step tsan tsan
step fuzz fuzz

# ---- Windows ------------------------------------------------------------------------
# tools/test-windows.sh notes its own steps (build, unit, dialog-glue,
# scenes) in a status file; a step it never reached shows as "not run".
status=$(mktemp)
trap 'rm -f "$status"' EXIT
windows() {
  local env=(RK_STATUS_FILE="$status")
  # Without this tree's Linux programs the comparison of the scenes is skipped.
  [ $linux_built = 1 ] || env+=(RK_LINUX_BUILD=/nonexistent)
  env "${env[@]}" bash tools/test-windows.sh
}
win_rc=0
if [ -x tools/test-windows.sh ]; then
  echo "== test.sh: windows"
  set +e
  windows
  win_rc=$?
  set -e
  declare -A win=()
  while read -r n r; do win[$n]=$r; done < "$status"
  for n in build unit dialog-glue scenes; do
    case $n in unit) label=windows ;; build) label=windows-build ;; *) label=$n ;; esac
    note "$label" "${win[$n]:-not run}"
  done
fi

summary
[ $win_rc = 0 ] || exit 1
for n in "${names[@]}"; do
  if [ "${result[$n]}" = FAILED ] || [ "${result[$n]}" = "not run" ]; then exit 1; fi
done
exit 0
