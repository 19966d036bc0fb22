#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test reelkiln.
set -euo pipefail
pkgs=(build-essential cmake pkg-config libgtest-dev libpng-dev zlib1g-dev
      python3 python3-png python3-pil imagemagick ffmpeg dpkg-dev tzdata
      g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64
      clang libclang-rt-14-dev)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  as_root=()
  [ "$(id -u)" = 0 ] || as_root=(sudo --preserve-env=DEBIAN_FRONTEND)
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
