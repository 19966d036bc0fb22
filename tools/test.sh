#!/usr/bin/env bash
# Runs every test of reelkiln: the Linux build, every test program whole in
# random order under AddressSanitizer and UndefinedBehaviorSanitizer, the
# threaded suites under ThreadSanitizer, the fuzz targets, and the Windows
# build under wine.  First it installs what the tests need and the machine
# lacks (tools/deps.sh; apt-get, through sudo unless root).
#
# Every step runs even when one before it failed (except the steps that need
# a build that failed), and the run ends with one line of every step and its
# result, e.g.
#
#   test.sh: linux ok, asan ok, tsan ok, fuzz ok, windows-build ok, windows ok, dialog-glue ok, scenes ok
#
# and "test.sh: FAILED: <steps>" after it when any failed; the exit code is
# then 1.
#
# How the run is laid out (it takes about as long as its longest steps, not
# as the sum of them): the five builds (linux, asan, windows, tsan, fuzz)
# are made one after another, each with one job per processor and at a lower
# priority (nice); each step's tests start as soon as its build is made, at
# the normal priority, and run beside the builds that follow, which take the
# processors the tests leave idle while they wait on files, processes and
# wine.  No test waits for an idle machine: they synchronise on what the
# programs do, never on a delay.  Each step's output goes to
# build-logs/<step>.log and is shown whole when the step ends, with its wall
# and processor time.
#
# The movie test over 4 GB (label "large") runs only with 12 GB free on the
# disk that holds the temporary directory (where it writes), or always with
# RK_LARGE=1.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash tools/deps.sh
# Debian's libpng source (the PNG corpus of every build, the Windows
# build's libpng) is fetched here once, before the steps that use it run at
# the same time.
bash tools/fetch-libpng-source.sh >/dev/null || echo "test.sh: the libpng source could not be fetched; the steps that need it will fail"

large=(-LE large)
# The test's scene lives where std::filesystem::temp_directory_path() says.
tmpdir=${TMPDIR:-${TMP:-${TEMP:-${TEMPDIR:-/tmp}}}}
free_kb=$(df -Pk "$tmpdir" | awk 'NR==2 {print $4}')
if [ "${RK_LARGE:-0}" = 1 ] || [ "$free_kb" -ge $((12 * 1024 * 1024)) ]; then large=(); fi

logs=build-logs
rm -rf "$logs"
mkdir -p "$logs"

# ---- Steps and their results ----------------------------------------------------
names=()
declare -A result=()
note() { names+=("$1"); result[$1]=$2; }
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
# timed LOG FUNCTION: runs the function in a subshell of its own with -e in
# force (a function run as the condition of an if would run with -e off),
# its output into LOG, and ends LOG with the wall and processor time; the
# function's exit code.
timed() {
  local log=$1 fn=$2 t0=$SECONDS rc cpu
  # The processor time of everything the function runs: the growth of the
  # shell's count of its children's time (the second line of times).
  times >"$log.times"
  set +e
  (
    set -e
    "$fn"
  ) >"$log" 2>&1 </dev/null
  rc=$?
  set -e
  times >>"$log.times"
  cpu=$(awk 'NR == 2 || NR == 4 {
           s = 0
           for (i = 1; i <= 2; i++) { split($i, p, "m"); s += p[1] * 60 + p[2] }
           t[NR] = s }
         END { printf "%d", t[4] - t[2] }' "$log.times")
  rm -f "$log.times"
  echo "== $fn: exit code $rc, $((SECONDS - t0)) s, $cpu s of processor time" >>"$log"
  return $rc
}
# prebuild NAME FUNCTION: makes a step's build now, in the foreground and
# at a lower priority; notes whether it succeeded in built[NAME].  The
# step's own function makes it again, which then has nothing left to do
# (or fails as the build failed, and the step shows it).
declare -A built=()
prebuild() {
  echo "== test.sh: building $1"
  if RK_NICE=1 timed "$logs/build-$1.log" "$2"; then built[$1]=1; else built[$1]=0; fi
  tail -n 1 "$logs/build-$1.log"
}
# launch NAME FUNCTION: starts the step in the background; its log is shown
# when it ends (finish).
declare -A pid=()
launched=()
launch() {
  echo "== test.sh: $1 started"
  timed "$logs/$1.log" "$2" &
  pid[$1]=$!
  launched+=("$1")
}
finish() {
  local n=$1
  echo
  echo "== test.sh: $n"
  cat "$logs/$n.log"
}
# The builds' priority: below the tests that run beside them.
nicely() {
  if [ "${RK_NICE:-0}" = 1 ]; then nice -n 10 "$@"; else "$@"; fi
}

# ---- Linux ------------------------------------------------------------------------
# The options are those of tools/demo.sh, which makes the same folder: the
# tests then build on its objects.  The demo may have configured build/
# without the tests (on a machine without GoogleTest): they are asked for
# by name.
linux_build() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREELKILN_TESTS=ON -DREELKILN_WERROR=ON >/dev/null
  nicely cmake --build build -j"$jobs"
}
# Every test alone, one process per test (CTest): no test may lean on
# another one having run in the same process first.
linux() {
  linux_build
  ctest --test-dir build -j"$jobs" --output-on-failure "${large[@]}"
}

# wholeprograms DIR: every test program of DIR/tests/<folder>/ once, whole
# and in random order (GoogleTest prints the seed it drew), all at the same
# time, each in its folder as CTest runs it: no test may lean on another one
# having run first, or on running alone.  Shows each program's output when
# all have ended.
wholeprograms() {
  local dir=$1 prog i r bad=0
  local progs=() pids=() out=()
  for prog in "$dir"/tests/*/test_*; do
    [ -f "$prog" ] && [ -x "$prog" ] || continue
    progs+=("$prog")
    out+=("$logs/${dir##*/}-${prog##*/}.log")
    # A hung test ends its program, not the run: a limit far past any run,
    # on a busy machine too (no test's verdict may hang on the clock).
    (cd "$(dirname "$prog")" && exec timeout -k 60 7200 "./${prog##*/}" --gtest_shuffle --gtest_brief=1) \
      >"${out[-1]}" 2>&1 </dev/null &
    pids+=($!)
  done
  if [ ${#progs[@]} = 0 ]; then echo "test.sh: no test programs in $dir/tests"; return 1; fi
  for i in "${!progs[@]}"; do
    if wait "${pids[$i]}"; then r=ok; else r=FAILED; bad=1; fi
    echo "== ${progs[$i]} --gtest_shuffle: $r"
    cat "${out[$i]}"
  done
  return $bad
}
asan_build() {
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DREELKILN_SANITIZE=ON -DREELKILN_BENCH=OFF -DREELKILN_WERROR=ON >/dev/null
  nicely cmake --build build-asan -j"$jobs"
}
# The whole suite under the sanitizers, every program whole and shuffled:
# the order check and the sanitizers in one pass.  The image corpus's
# oracle is the one every build folder shares (tools/png_corpus.sh).
asan() {
  asan_build
  bash tools/png_corpus.sh build-asan/tests/image/oracle
  wholeprograms build-asan
}

# ---- ThreadSanitizer ------------------------------------------------------------
# The suites that run code on several threads, as "program:filter"; a new
# threaded suite must be added here, or ThreadSanitizer never sees it.
tsan_suites=(
  "movie:Ahead*.*:*/Ahead.*"   # frames loaded ahead of the writer on worker threads
  "image:Job.*"                # the loader as the workers run it
  "stream:OwnRead.*"           # read streams of one's own, on several threads
  "avitool:ConcurrentEdit.*"   # edits of one movie from several threads
)
tsan_build() {
  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREELKILN_TSAN=ON -DREELKILN_BENCH=OFF -DREELKILN_WERROR=ON >/dev/null
  local targets=() s
  for s in "${tsan_suites[@]}"; do targets+=("test_${s%%:*}"); done
  nicely cmake --build build-tsan -j"$jobs" --target $(printf '%s\n' "${targets[@]}" | sort -u)
}
# ThreadSanitizer ends a program at its first report.
tsan() {
  tsan_build
  export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
  local s prog bad=0
  for s in "${tsan_suites[@]}"; do
    prog=${s%%:*}
    echo "== build-tsan/tests/$prog/test_$prog --gtest_filter=${s#*:}"
    (cd "build-tsan/tests/$prog" && "./test_$prog" --gtest_brief=1 --gtest_filter="${s#*:}") || bad=1
  done
  return $bad
}

# ---- Fuzz targets and Windows ----------------------------------------------------
# The fuzz targets (clang): every corpus replayed, then each target briefly.
fuzz_build() { nicely bash tools/fuzz.sh build; }
fuzz() { bash tools/fuzz.sh; }

# tools/test-windows.sh notes its own steps (build, unit, dialog-glue,
# scenes) in a status file; a step it never reached shows as "not run".
status=$logs/windows.status
windows_build() { nicely bash tools/build-windows.sh; }
windows() {
  local env=(RK_STATUS_FILE="$status")
  # Without this tree's Linux programs the comparison of the scenes is skipped.
  [ "${built[linux]}" = 1 ] || env+=(RK_LINUX_BUILD=/nonexistent)
  env "${env[@]}" bash tools/test-windows.sh
}

# ---- The run ----------------------------------------------------------------------
# The builds in turn, each step started when its build is made: the Linux
# programs first (the scenes compare them with the Windows ones), then the
# longest steps' builds.  Whether the programs of build/ are this tree's
# comes from its build: a failed one leaves older programs behind, which the
# Windows comparison may not take for these.
: >"$status"
prebuild linux linux_build
launch linux linux
prebuild asan asan_build
launch asan asan
if [ -x tools/test-windows.sh ]; then
  prebuild windows windows_build
  launch windows windows
fi
prebuild tsan tsan_build
launch tsan tsan
prebuild fuzz fuzz_build
launch fuzz fuzz

# Each step's log as it ends.
declare -A stepok=()
pending=("${launched[@]}")
while [ ${#pending[@]} -gt 0 ]; do
  waitfor=()
  for n in "${pending[@]}"; do waitfor+=("${pid[$n]}"); done
  ended=
  set +e
  wait -n -p ended "${waitfor[@]}"
  r=$?
  set -e
  [ -n "$ended" ] || break
  still=()
  for n in "${pending[@]}"; do
    if [ "${pid[$n]}" = "$ended" ]; then
      if [ $r = 0 ]; then stepok[$n]=ok; else stepok[$n]=FAILED; fi
      finish "$n"
    else
      still+=("$n")
    fi
  done
  pending=("${still[@]}")
done

for n in linux asan tsan fuzz; do note "$n" "${stepok[$n]:-not run}"; done
if [ -n "${pid[windows]:-}" ]; then
  declare -A win=()
  while read -r n r; do win[$n]=$r; done <"$status"
  for n in build unit dialog-glue scenes; do
    case $n in unit) label=windows ;; build) label=windows-build ;; *) label=$n ;; esac
    note "$label" "${win[$n]:-not run}"
  done
fi

summary
[ "${stepok[windows]:-ok}" = ok ] || exit 1
for n in "${names[@]}"; do
  if [ "${result[$n]}" = FAILED ] || [ "${result[$n]}" = "not run" ]; then exit 1; fi
done
exit 0
