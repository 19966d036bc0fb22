#!/usr/bin/env bash
# tools/test.sh's closing line, with every tool it runs replaced by a stand-in
# (cmake, ctest, the test programs, deps.sh, the libpng source and corpus
# steps, fuzz.sh, build-windows.sh, test-windows.sh) that passes or fails as
# each case says: every step must still run after a failure, the line must
# name every step and its result, the exit code must be 1 when anything
# failed, and a Windows step the Windows script never reached must show as
# "not run".  Nothing is built.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# run_case NAME FAILING...: a tree of stand-ins in which the named parts
# fail ("ctest-build", "cmake-build", "cmake-build-asan", "asan-program",
# "fuzz", "win-build", "scenes"); prints the run's last two lines and its
# exit code.
run_case() {
  local name=$1; shift
  local t=$work/$name
  mkdir -p "$t/tools" "$t/bin" "$t/build-asan/tests/a"
  cp "$here/tools/test.sh" "$t/tools/"
  : > "$t/fails"
  for f in "$@"; do echo "$f" >> "$t/fails"; done
  echo 'exit 0' > "$t/tools/deps.sh"
  echo 'exit 0' > "$t/tools/fetch-libpng-source.sh"
  echo 'exit 0' > "$t/tools/png_corpus.sh"
  echo 'grep -qx win-build fails && exit 1; exit 0' > "$t/tools/build-windows.sh"
  cat > "$t/tools/fuzz.sh" <<'STUB'
grep -qx fuzz fails && exit 1
echo "fuzz ran" >> ran; exit 0
STUB
  cat > "$t/tools/test-windows.sh" <<'STUB'
#!/usr/bin/env bash
cd "$(dirname "$0")/.."
echo "windows ran" >> ran
if grep -qx win-build fails; then echo "build FAILED" >> "$RK_STATUS_FILE"; exit 1; fi
echo "build ok" >> "$RK_STATUS_FILE"; echo "unit ok" >> "$RK_STATUS_FILE"
echo "dialog-glue ok" >> "$RK_STATUS_FILE"
if [ -n "${RK_LINUX_BUILD:-}" ]; then echo "scenes skipped" >> "$RK_STATUS_FILE"; exit 0; fi
if grep -qx scenes fails; then echo "scenes FAILED" >> "$RK_STATUS_FILE"; exit 1; fi
echo "scenes ok" >> "$RK_STATUS_FILE"
STUB
  chmod +x "$t/tools/test-windows.sh"
  # cmake --build fails in build/ for "cmake-build" and in build-asan/ for
  # "cmake-build-asan"; ctest fails in build/ for "ctest-build".
  cat > "$t/bin/cmake" <<'STUB'
#!/usr/bin/env bash
if [ "$1" = --build ] && grep -qx "cmake-$2" fails; then exit 1; fi
exit 0
STUB
  cat > "$t/bin/ctest" <<'STUB'
#!/usr/bin/env bash
echo "ctest $2" >> ran
[ "$2" = build ] && grep -qx ctest-build fails && exit 1
exit 0
STUB
  cat > "$t/build-asan/tests/a/test_a" <<'STUB'
#!/usr/bin/env bash
cd ../../..; echo "asan test_a $1" >> ran; grep -qx asan-program fails && exit 1; exit 0
STUB
  chmod +x "$t/bin"/* "$t/build-asan/tests/a/test_a"
  # A passing stand-in for every program the ThreadSanitizer step runs, as
  # test.sh's own list of threaded suites names them.
  local p
  for p in $(sed -n '/^tsan_suites=(/,/^)/s/^ *"\([a-z]*\):.*/\1/p' "$t/tools/test.sh" | sort -u); do
    mkdir -p "$t/build-tsan/tests/$p"
    printf '#!/bin/sh\nexit 0\n' > "$t/build-tsan/tests/$p/test_$p"
  done
  chmod +x "$t/build-tsan/tests"/*/test_*
  local rc=0
  (cd "$t" && PATH=$t/bin:$PATH RK_LARGE=0 bash tools/test.sh >out.log 2>&1) || rc=$?
  echo "$(tail -n 2 "$t/out.log" | grep '^test.sh:' | paste -sd '|')|rc=$rc"
}

fail=0
expect() {
  local got
  got=$(run_case "$@")
  if [ "$got" != "$want" ]; then
    echo "case $1: got  $got"; echo "case $1: want $want"; fail=1
  fi
}

all="linux ok, asan ok, tsan ok, fuzz ok, windows-build ok, windows ok, dialog-glue ok, scenes ok"
want="test.sh: $all|rc=0"; expect pass
want="test.sh: linux FAILED, asan ok, tsan ok, fuzz ok, windows-build ok, windows ok, dialog-glue ok, scenes ok|test.sh: FAILED: linux|rc=1"
expect ctest ctest-build
# A Linux build that failed: its old programs are not compared with the
# Windows ones.
want="test.sh: linux FAILED, asan ok, tsan ok, fuzz ok, windows-build ok, windows ok, dialog-glue ok, scenes skipped|test.sh: FAILED: linux|rc=1"
expect build cmake-build
want="test.sh: linux ok, asan FAILED, tsan ok, fuzz ok, windows-build ok, windows ok, dialog-glue ok, scenes ok|test.sh: FAILED: asan|rc=1"
expect asanbuild cmake-build-asan
want="test.sh: linux ok, asan FAILED, tsan ok, fuzz FAILED, windows-build ok, windows ok, dialog-glue ok, scenes FAILED|test.sh: FAILED: asan, fuzz, scenes|rc=1"
expect several asan-program fuzz scenes
want="test.sh: linux ok, asan ok, tsan ok, fuzz ok, windows-build FAILED, windows not run, dialog-glue not run, scenes not run|test.sh: FAILED: windows-build|rc=1"
expect winbuild win-build
# Every step ran in the case with several failures, the sanitizer build's
# programs whole and shuffled.
ran=$(sort "$work/several/ran" | uniq | paste -sd ,)
[ "$ran" = "asan test_a --gtest_shuffle,ctest build,windows ran" ] || { echo "case several: ran $ran"; fail=1; }
[ "$fail" = 0 ] && echo "ok: test.sh's closing line in 6 cases"
exit $fail
