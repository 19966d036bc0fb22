#!/usr/bin/env bash
# Prepares the PNG corpus test: fetches Debian's libpng source (cached by
# tools/fetch-libpng-source.sh) and writes the independent decoder's output
# for its test images into OUTDIR (manifest.txt and one .rgba per image).
#
# The output depends only on the images, the decoder and the python3-png it
# runs on, so it is made once per clone, in build-oracle/<key of those>, and
# copied into OUTDIR for each build folder that asks (the Linux, sanitizer
# and Windows builds' corpus tests, which may ask at the same time: the
# first one makes it, the others wait for it).
#
# usage: tools/png_corpus.sh OUTDIR
set -euo pipefail
out=${1:?usage: png_corpus.sh OUTDIR}
here=$(cd "$(dirname "$0")" && pwd)
src=$(bash "$here/fetch-libpng-source.sh")
c=$src/contrib
for d in "$c/pngsuite" "$c/testpngs" "$c/testpngs/crashers"; do
  [ -d "$d" ] || { echo "png_corpus: $d is missing" >&2; exit 1; }
done
sets=("pngsuite=$c/pngsuite:recursive" "testpngs=$c/testpngs" "crashers=$c/testpngs/crashers")
# The Debian interpreter: it has python3-png, another python3 on PATH may not.
py=/usr/bin/python3
key=$({ cat "$here/png_oracle.py"; printf '%s\n' "${sets[@]}"
        "$py" -c 'import sys, png; print(sys.version, png.__version__)' 2>&1 || true; } | sha256sum | cut -c1-16)
store=$here/../build-oracle
mkdir -p "$store"
made=$store/$key
exec 9>"$store/.lock"
flock 9
if [ ! -f "$made/manifest.txt" ]; then
  rm -rf "$made.part"
  "$py" "$here/png_oracle.py" "$made.part" "${sets[@]}"
  mv "$made.part" "$made"
fi
mkdir -p "$out"
cp -a "$made/." "$out/"
