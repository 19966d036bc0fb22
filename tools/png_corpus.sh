#!/usr/bin/env bash
# Prepares the PNG corpus test: fetches Debian's libpng source (cached by
# tools/fetch-libpng-source.sh) and writes the independent decoder's output
# for its test images into OUTDIR (manifest.txt and one .rgba per image).
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
# The Debian interpreter: it has python3-png, another python3 on PATH may not.
exec /usr/bin/python3 "$here/png_oracle.py" "$out" \
  "pngsuite=$c/pngsuite:recursive" "testpngs=$c/testpngs" "crashers=$c/testpngs/crashers"
