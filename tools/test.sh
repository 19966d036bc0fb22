#!/usr/bin/env bash
# Runs every test of reelkiln: the Linux build, the same under AddressSanitizer
# and UndefinedBehaviorSanitizer, the movie tests under ThreadSanitizer, the
# fuzz targets, and the Windows build under wine; each Linux test program
# also runs once whole in shuffled order.
# The movie test over 4 GB (label "large") runs only with 12 GB free on the
# disk that holds the temporary directory (where it writes), or always with
# RK_LARGE=1.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

large=(-LE large)
# The test's scene lives where std::filesystem::temp_directory_path() says.
tmpdir=${TMPDIR:-${TMP:-${TEMP:-${TEMPDIR:-/tmp}}}}
free_kb=$(df -Pk "$tmpdir" | awk 'NR==2 {print $4}')
if [ "${RK_LARGE:-0}" = 1 ] || [ "$free_kb" -ge $((12 * 1024 * 1024)) ]; then large=(); fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --output-on-failure "${large[@]}"
# Each Linux test program once more, whole and in random order (GoogleTest
# prints the seed it drew): no test may lean on another one having run
# first, or on running alone.  Each runs in its folder, as CTest runs it.
for prog in build/tests/*/test_*; do
  [ -f "$prog" ] && [ -x "$prog" ] || continue
  echo "== $prog --gtest_shuffle"
  (cd "$(dirname "$prog")" && "./$(basename "$prog")" --gtest_shuffle --gtest_brief=1)
done

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DREELKILN_SANITIZE=ON -DREELKILN_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan -j"$jobs" --output-on-failure -LE large

# The movie writers load frames ahead on worker threads: the movie tests
# and the worker-side loader's tests once more under ThreadSanitizer, which
# ends the run at its first report.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREELKILN_TSAN=ON -DREELKILN_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target test_movie test_image
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
(cd build-tsan/tests/movie && ./test_movie --gtest_brief=1)
(cd build-tsan/tests/image && ./test_image --gtest_brief=1 --gtest_filter='Job.*')
unset TSAN_OPTIONS

# The fuzz targets (clang): every corpus replayed, then each target briefly.
bash tools/fuzz.sh

if [ -x tools/test-windows.sh ]; then tools/test-windows.sh; fi
