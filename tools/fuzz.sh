#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ (clang, in build-fuzz/), checks that
# the generated seeds in fuzz/corpus/ are what tools/gen_fuzz_corpus.py
# writes, replays every target's corpus once (the regression: every input
# that ever crashed a target stays in its corpus), then runs every target at
# once for a short time (RK_FUZZ_SECONDS, 20 by default) from its corpus.
# New inputs go to a scratch folder, never into the repository; a crash, a
# leak, a hang (-timeout) or running out of memory (-rss_limit_mb) fails the
# run, and the input that did it is kept in build-fuzz/artifacts/.
#
#   bash tools/fuzz.sh            # what tools/test.sh runs
#   RK_FUZZ_SECONDS=0 bash tools/fuzz.sh   # build and replay only
#   bash tools/fuzz.sh build      # the build alone (tools/test.sh makes it ahead)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
secs=${RK_FUZZ_SECONDS:-20}
limits=(-rss_limit_mb=2048 -timeout=60)  # a hang, not a slow input on a busy machine
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
      -DCMAKE_CXX_COMPILER=clang++ -DREELKILN_FUZZ=ON -DREELKILN_WERROR=ON >/dev/null
cmake --build build-fuzz -j"$jobs"
[ "${1:-}" != build ] || exit 0

# Scratch space on a memory file system where there is one: the targets'
# own files go there, thousands a second.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then scratch=$(mktemp -d -p /dev/shm); else scratch=$(mktemp -d); fi
trap 'rm -rf "$scratch"' EXIT
artifacts=build-fuzz/artifacts
mkdir -p "$artifacts" "$scratch/tmp"
export RK_FUZZ_TMP="$scratch/tmp"   # the files the targets create

# The generated seeds: the same files, no more, no fewer.
python3 tools/gen_fuzz_corpus.py "$scratch/gen" >/dev/null
stale=0
while IFS= read -r f; do
  rel=${f#"$scratch/gen/"}
  if ! cmp -s "$f" "fuzz/corpus/$rel"; then echo "fuzz: fuzz/corpus/$rel differs from what tools/gen_fuzz_corpus.py writes"; stale=1; fi
done < <(find "$scratch/gen" -type f -name 'gen-*' | sort)
while IFS= read -r f; do
  rel=${f#fuzz/corpus/}
  if [ ! -f "$scratch/gen/$rel" ]; then echo "fuzz: $f is no longer generated"; stale=1; fi
done < <(find fuzz/corpus -type f -name 'gen-*' | sort)
if [ "$stale" != 0 ]; then echo "fuzz: rerun python3 tools/gen_fuzz_corpus.py"; exit 1; fi

targets=()
for exe in build-fuzz/fuzz/fuzz_*; do
  [ -x "$exe" ] || continue
  name=${exe##*/fuzz_}
  if [ -z "$(ls -A "fuzz/corpus/$name" 2>/dev/null)" ]; then
    echo "fuzz: fuzz_$name has no seeds in fuzz/corpus/$name/"
    exit 1
  fi
  targets+=("$name")
done
if [ ${#targets[@]} = 0 ]; then echo "fuzz: no targets were built"; exit 1; fi

# Runs every target with the given options and its corpus, all at once;
# fails when any of them fails, showing the end of its log.
run_all() {
  local what=$1; shift
  local pids=() name failed=0
  for name in "${targets[@]}"; do
    mkdir -p "$scratch/work/$name"
    build-fuzz/fuzz/fuzz_"$name" "${limits[@]}" -artifact_prefix="$artifacts/$name-" "$@" \
        "$scratch/work/$name" "fuzz/corpus/$name" >"$scratch/$name.$what.log" 2>&1 &
    pids+=($!)
  done
  for i in "${!targets[@]}"; do
    if ! wait "${pids[$i]}"; then
      name=${targets[$i]}
      echo "fuzz: fuzz_$name failed in the $what run:"
      tail -n 40 "$scratch/$name.$what.log"
      failed=1
    fi
  done
  return $failed
}

run_all replay -runs=0
echo "fuzz: ${#targets[@]} targets replayed their corpora"
if [ "$secs" -gt 0 ]; then
  run_all fuzz -max_total_time="$secs" -print_final_stats=1
  for name in "${targets[@]}"; do
    grep -h '^stat::number_of_executed_units' "$scratch/$name.fuzz.log" | sed "s/^/fuzz: fuzz_$name /"
  done
  echo "fuzz: ${#targets[@]} targets ran ${secs} s each without a finding"
fi
