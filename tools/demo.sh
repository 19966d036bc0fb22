#!/usr/bin/env bash
# The first command of the README: installs what building and running the
# programs needs and the machine lacks (tools/deps.sh build; the tests'
# tools come with tools/test.sh), builds the programs and makes a movie from
# a small scene generated on the spot.
#
#   bash tools/demo.sh
#
# Leaves ./demo with 48 PNG frames of 320x180 (a ball bouncing over a
# gradient), a 0.8-second chord in music.wav, the program reelkiln beside
# them, the list.txt it wrote and movie.avi, which any player opens (ffplay
# demo/movie.avi).  Rerunning it makes the scene and the movie anew.
# RK_BUILD_DIR names another build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash tools/deps.sh build
build=${RK_BUILD_DIR:-build}
# The build folder is the one tools/test.sh uses, configured with the same
# options (warnings as errors included), so that the tests later build on
# the same objects instead of compiling them again; its tests are configured
# only where GoogleTest is installed (tools/test.sh asks for them again by
# name, which leaves the objects as they are).
tests=OFF
if dpkg-query -W -f='${Status}' libgtest-dev 2>/dev/null | grep -q 'install ok installed'; then tests=ON; fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREELKILN_TESTS=$tests -DREELKILN_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target reelkiln reelkiln30

rm -rf demo
mkdir -p demo
/usr/bin/python3 - demo <<'PY'
import math
import sys
import wave

import png

out = sys.argv[1]
W, H, N = 320, 180, 48
for f in range(N):
    bx = 30 + f * (W - 60) / (N - 1)
    by = H - 40 - abs(math.sin(f * math.pi / 12)) * 90
    rows = []
    for y in range(H):
        row = []
        for x in range(W):
            r = int(40 + 120 * y / H)
            g = int(60 + 100 * x / W)
            b = 160
            d = math.hypot(x - bx, y - by)
            if d < 22:
                shade = 1.0 - d / 30
                r, g, b = int(240 * shade), int(90 * shade), int(40 * shade)
            row += [r, g, b]
        rows.append(row)
    with open(f"{out}/frame{f:03d}.png", "wb") as fh:
        png.Writer(W, H, greyscale=False).write(fh, rows)

rate, seconds = 22050, N / 60
with wave.open(f"{out}/music.wav", "wb") as w:
    w.setnchannels(2)
    w.setsampwidth(2)
    w.setframerate(rate)
    frames = bytearray()
    for i in range(int(rate * seconds)):
        t = i / rate
        v = sum(math.sin(2 * math.pi * hz * t) for hz in (262, 330, 392)) / 3
        s = int(9000 * v * min(1.0, (seconds - t) * 8)).to_bytes(2, "little", signed=True)
        frames += s + s
    w.writeframes(bytes(frames))
PY

cp "$build/movie/reelkiln" demo/
(cd demo && ./reelkiln)
echo
if command -v ffprobe >/dev/null; then
  ffprobe -v error -show_entries stream=codec_type,codec_name,width,height,r_frame_rate,sample_rate \
    -of compact demo/movie.avi
fi
echo "demo: $root/demo/movie.avi (play it with: ffplay demo/movie.avi)"
