#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks, with apt-get (through sudo
# unless root):
#
#   bash tools/deps.sh build   # building and running the programs, and the demo (tools/demo.sh)
#   bash tools/deps.sh         # that and everything the tests need (tools/test.sh, CI)
#
# Only missing packages are installed, so a second run asks nothing of apt.
set -euo pipefail
mode=${1:-test}
# The compiler, CMake and the two libraries; Debian's own python3 with
# python3-png makes the demo's frames and sound.
build=(build-essential cmake pkg-config libpng-dev zlib1g-dev python3 python3-png)
# The tests: GoogleTest; ffmpeg, ImageMagick and PIL as outside judges of
# the files; dpkg-dev to unpack libpng's source (the PNG corpus and the
# Windows build); tzdata for the local-time tests; mingw-w64 and wine for
# the Windows build and its tests; clang and its runtime for the fuzz
# targets; locales for the sources of a locale with a decimal comma, which
# the stream tests' build compiles for itself.
test=(libgtest-dev python3-pil imagemagick ffmpeg dpkg-dev tzdata
      g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64
      clang libclang-rt-14-dev locales)
case $mode in
  build) pkgs=("${build[@]}") ;;
  test) pkgs=("${build[@]}" "${test[@]}") ;;
  *) echo "usage: bash tools/deps.sh [build|test]" >&2; exit 2 ;;
esac
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "== deps.sh: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  as_root=()
  [ "$(id -u)" = 0 ] || as_root=(sudo --preserve-env=DEBIAN_FRONTEND)
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
