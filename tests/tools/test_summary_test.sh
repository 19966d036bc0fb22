#!/usr/bin/env bash
# tools/test.sh's closing line, with every tool it runs replaced by a stand-in
# (cmake, ctest, the test programs, deps.sh, fuzz.sh, test-windows.sh) that
# passes or fails as each case says: every step must still run after a
# failure, the line must name every step and its result, the exit code must
# be 1 when anything failed, and a Windows step the Windows script never
# reached must show as "not run".  Nothing is built.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# run_case NAME FAILING...: a tree of stand-ins in which the named parts
# fail ("ctest-build", "build-build", "shuffled", "fuzz", "win-build",
# "scenes"); prints the run's last two lines and its exit code.
run_case() {
  local name=$1; shift
  local t=$work/$name
  mkdir -p "$t/tools" "$t/bin" "$t/build/tests/a"
  cp "$here/tools/test.sh" "$t/tools/"
  : > "$t/fails"
  for f in "$@"; do echo "$f" >> "$t/fails"; done
  echo 'exit 0' > "$t/tools/deps.sh"
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
  # cmake --build fails in build/ for "build-build"; ctest fails in build/
  # for "ctest-build".
  cat > "$t/bin/cmake" <<'STUB'
#!/usr/bin/env bash
if [ "$1" = --build ] && [ "$2" = build ] && grep -qx build-build fails; then exit 1; fi
exit 0
STUB
  cat > "$t/bin/ctest" <<'STUB'
#!/usr/bin/env bash
echo "ctest $2" >> ran
[ "$2" = build ] && grep -qx ctest-build fails && exit 1
exit 0
STUB
  cat > "$t/build/tests/a/test_a" <<'STUB'
#!/usr/bin/env bash
cd ../../..; grep -qx shuffled fails && exit 1; exit 0
STUB
  chmod +x "$t/bin"/* "$t/build/tests/a/test_a"
  mkdir -p "$t/build-tsan/tests/movie" "$t/build-tsan/tests/image"
  printf '#!/bin/sh\nexit 0\n' > "$t/build-tsan/tests/movie/test_movie"
  printf '#!/bin/sh\nexit 0\n' > "$t/build-tsan/tests/image/test_image"
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

all="linux ok, shuffled ok, asan ok, tsan ok, fuzz ok, windows-build ok, windows ok, dialog-glue ok, scenes ok"
want="test.sh: $all|rc=0"; expect pass
want="test.sh: linux FAILED, shuffled ok, asan ok, tsan ok, fuzz ok, windows-build ok, windows ok, dialog-glue ok, scenes ok|test.sh: FAILED: linux|rc=1"
expect ctest ctest-build
# A Linux build that failed: its old programs are neither run shuffled nor
# compared with the Windows ones.
want="test.sh: linux FAILED, shuffled skipped (no Linux build), asan ok, tsan ok, fuzz ok, windows-build ok, windows ok, dialog-glue ok, scenes skipped|test.sh: FAILED: linux|rc=1"
expect build build-build
want="test.sh: linux ok, shuffled FAILED, asan ok, tsan ok, fuzz FAILED, windows-build ok, windows ok, dialog-glue ok, scenes FAILED|test.sh: FAILED: shuffled, fuzz, scenes|rc=1"
expect several shuffled fuzz scenes
want="test.sh: linux ok, shuffled ok, asan ok, tsan ok, fuzz ok, windows-build FAILED, windows not run, dialog-glue not run, scenes not run|test.sh: FAILED: windows-build|rc=1"
expect winbuild win-build
# Every step ran in the case with several failures.
ran=$(sort "$work/several/ran" | uniq | paste -sd ,)
[ "$ran" = "ctest build,ctest build-asan,windows ran" ] || { echo "case several: ran $ran"; fail=1; }
[ "$fail" = 0 ] && echo "ok: test.sh's closing line in 5 cases"
exit $fail
