#!/usr/bin/env bash
# Cross-builds the Windows x64 programs and their unit tests with Debian's
# mingw-w64 (posix-threads variant), all linked statically:
#
#   bash tools/build-windows.sh          # -> build-win/bin/reelkiln.exe, reelkiln30.exe
#
# Steps: a static libpng from Debian's libpng1.6 source package (fetched once
# by tools/fetch-libpng-source.sh) and GoogleTest from /usr/src/googletest,
# both installed into build-win/prefix and rebuilt only when their sources or
# the toolchain change; then reelkiln itself in build-win/rk; then a check
# that every .exe imports Windows system DLLs only (wine ships a zlib1.dll of
# its own that would hide a missing one).  The test programs stay in
# build-win/rk/tests/<folder>/; tools/test-windows.sh runs them under wine.
#
# Environment: RK_WIN_BUILD (the build folder, default build-win under the
# clone), RK_JOBS (parallel jobs, default the number of processors).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=${RK_WIN_BUILD:-$root/build-win}
mkdir -p "$out"
out=$(cd "$out" && pwd)
# One Windows build or test run at a time per build folder (several people
# may run tools/test.sh in one checkout); tools/test-windows.sh holds the
# lock for its whole run and says so in RK_WIN_LOCKED.
if [ -z "${RK_WIN_LOCKED:-}" ]; then
  exec 9>"$out/.lock"
  flock 9
  export RK_WIN_LOCKED=1
fi
jobs=${RK_JOBS:-$(nproc)}
toolchain=$root/cmake/mingw-w64.cmake
prefix=$out/prefix
triple=x86_64-w64-mingw32

for tool in $triple-g++-posix $triple-gcc-posix $triple-objdump; do
  command -v "$tool" >/dev/null || { echo "build-windows: $tool is missing (bash tools/deps.sh installs it)" >&2; exit 1; }
done
[ -f /usr/$triple/lib/libz.a ] || { echo "build-windows: /usr/$triple/lib/libz.a is missing (package libz-mingw-w64-dev)" >&2; exit 1; }
[ -f /usr/src/googletest/CMakeLists.txt ] || { echo "build-windows: /usr/src/googletest is missing (package libgtest-dev)" >&2; exit 1; }

png_src=$(bash tools/fetch-libpng-source.sh)
gtest_src=/usr/src/googletest

# ---- Dependencies: static libpng and GoogleTest, built once ----------------
stamp_want=$(printf '%s\n' "$png_src" "$(dpkg-query -W -f='${Version}' libgtest-dev 2>/dev/null || echo ?)" \
  "$(dpkg-query -W -f='${Version}' libz-mingw-w64-dev 2>/dev/null || echo ?)" \
  "$($triple-g++-posix -dumpfullversion)" "$(sha256sum "$toolchain" | cut -d' ' -f1)")
stamp=$prefix/.deps-stamp
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$stamp_want" ] \
   || [ ! -f "$prefix/lib/libpng16.a" ] || [ ! -f "$prefix/lib/libgtest.a" ]; then
  echo "== Windows dependencies: libpng from $png_src, GoogleTest from $gtest_src"
  rm -rf "$prefix" "$out/libpng" "$out/gtest"
  cmake -S "$png_src" -B "$out/libpng" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF \
    -DZLIB_USE_STATIC_LIBS=ON >/dev/null
  cmake --build "$out/libpng" -j"$jobs" >/dev/null
  cmake --install "$out/libpng" >/dev/null
  cmake -S "$gtest_src" -B "$out/gtest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=ON >/dev/null
  cmake --build "$out/gtest" -j"$jobs" >/dev/null
  cmake --install "$out/gtest" >/dev/null
  printf '%s' "$stamp_want" > "$stamp"
fi

# ---- reelkiln ----------------------------------------------------------------
echo "== Windows build in $out/rk"
# -O2 as the Linux build (RelWithDebInfo) has it, without the debug data.
cmake -S "$root" -B "$out/rk" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_PREFIX_PATH="$prefix" \
  -DZLIB_USE_STATIC_LIBS=ON -DREELKILN_BENCH=OFF -DREELKILN_WERROR=ON >/dev/null
cmake --build "$out/rk" -j"$jobs"

# ---- Only Windows' own DLLs ----------------------------------------------------
# The system DLLs a console program of ours may import; anything else
# (zlib1.dll, libpng16.dll, libstdc++-6.dll, libgcc_s_seh-1.dll,
# libwinpthread-1.dll, ...) would be missing on the user's machine.
allowed='^(kernel32|user32|gdi32|advapi32|shell32|comdlg32|ole32|oleaut32|msvcrt|ucrtbase|ntdll|ws2_32|api-ms-win-crt-[a-z0-9-]+|api-ms-win-core-[a-z0-9-]+)\.dll$'
mapfile -t exes < <(find "$out/rk" -name '*.exe' -type f | sort)
[ ${#exes[@]} -gt 0 ] || { echo "build-windows: no .exe was built" >&2; exit 1; }
bad=0
for exe in "${exes[@]}"; do
  while read -r dll; do
    if ! [[ ${dll,,} =~ $allowed ]]; then
      echo "build-windows: ${exe#$out/} imports $dll, which Windows does not ship" >&2
      bad=1
    fi
  done < <($triple-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
done
[ $bad = 0 ] || exit 1

mkdir -p "$out/bin"
for exe in reelkiln reelkiln30; do
  if [ -f "$out/rk/movie/$exe.exe" ]; then cp -f "$out/rk/movie/$exe.exe" "$out/bin/"; fi
done
echo "== Windows programs in $out/bin: $(cd "$out/bin" && ls *.exe 2>/dev/null | tr '\n' ' ')"
