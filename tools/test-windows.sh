#!/usr/bin/env bash
# Builds the Windows programs and tests (tools/build-windows.sh) and runs
# them under wine64, headless:
#
#   bash tools/test-windows.sh
#
# 1. A fresh WINEPREFIX in build-win/wine, set to report Windows 10, with
#    WINEDEBUG=-all and no display (a message box then returns at once).
#    One wineserver is kept for the whole run (wineserver -p) and warm-up
#    processes boot the prefix with their output sent to a log: the
#    helper processes wine starts on first use inherit that output, and if
#    it were CTest's pipe, CTest would wait for them until its timeout.
#    The server is stopped on every way out.
# 2. Every unit-test program under CTest (label "large" excluded unless
#    RK_LARGE=1), one wine process per program; then the local-time tests of
#    test_platform once per time zone with TZ set (wine takes the zone from
#    it), for the zones the machine's tzdata holds.
# 3. The dialog glue test (ctest label "dialog-glue"), left out of step 2:
#    the real common dialogs driven by a timer robot, in a second prefix,
#    build-win/wine-dialog, booted with wine's null graphics driver and run
#    by a wineserver of its own.  The null driver never goes into the main
#    prefix, where a message box would then wait for ever.
# 4. When the programs exist: the same scenes made into movies by the Linux
#    build and by the Windows build, each in a fresh folder beside its
#    program, and the movies (and the lists they wrote) compared byte for
#    byte.  The Linux programs come from build/ (tools/test.sh builds them
#    first; RK_LINUX_BUILD names another folder).
#
# It ends with one line of its steps and their results ("test-windows.sh:
# build ok, unit ok, dialog-glue ok, scenes ok"), also when a step failed,
# and exits non-zero when any did.  With RK_STATUS_FILE set, each step's
# result is also appended there as a line "name result", for tools/test.sh.
#
# wine turns Unix file names into Windows ones by the character set of the
# locale; under the POSIX locale of a fresh install (LANG unset) it cannot
# map a name outside ASCII, and every test of wide names fails.  When the
# locale in force is not UTF-8 the script sets LC_ALL to one (C.UTF-8,
# which every Debian libc has without the locales package).
#
# Environment: RK_WIN_BUILD (default build-win), RK_JOBS, RK_LARGE,
# RK_LINUX_BUILD, RK_STATUS_FILE.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

# ---- The steps' results ---------------------------------------------------------
# A step that never got to record its result (the script ended before it)
# shows as "not run".
steps=(build unit dialog-glue scenes)
declare -A result=()
record() {
  result[$1]=$2
  if [ -n "${RK_STATUS_FILE:-}" ]; then echo "$1 $2" >> "$RK_STATUS_FILE"; fi
}
summary() {
  local line="" s
  for s in "${steps[@]}"; do line+="${line:+, }$s ${result[$s]:-not run}"; done
  echo "test-windows.sh: $line"
}

# ---- A UTF-8 locale for wine ------------------------------------------------------
charmap=$(locale charmap 2>/dev/null || true)
if [ "$charmap" != UTF-8 ]; then
  utf8=
  for l in C.UTF-8 C.utf8 $(locale -a 2>/dev/null | grep -iE '\.utf-?8$' || true); do
    if [ "$(LC_ALL=$l locale charmap 2>/dev/null)" = UTF-8 ]; then utf8=$l; break; fi
  done
  if [ -n "$utf8" ]; then
    echo "== the locale's character set is ${charmap:-unknown}, not UTF-8: LC_ALL=$utf8 for wine"
    export LC_ALL=$utf8
  else
    echo "test-windows: no UTF-8 locale on this machine (locale -a): wine cannot map file names outside ASCII, and the tests of wide names will fail" >&2
  fi
fi
export RK_WIN_BUILD=${RK_WIN_BUILD:-$root/build-win}
jobs=${RK_JOBS:-$(nproc)}
mkdir -p "$RK_WIN_BUILD"
out=$(cd "$RK_WIN_BUILD" && pwd)
# One run at a time per build folder: a second run would boot its prefix
# over the first one's.
exec 9>"$out/.lock"
flock 9
export RK_WIN_LOCKED=1
trap summary EXIT
if bash tools/build-windows.sh; then record build ok; else record build FAILED; exit 1; fi

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
[ -x "$wine" ] || wine=$(command -v wine64 || true)
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || true)
[ -n "$wine" ] && [ -n "$wineserver" ] || { echo "test-windows: wine64 is missing (bash tools/deps.sh installs it)" >&2; record unit FAILED; exit 1; }

# ---- 1. A fresh, headless prefix --------------------------------------------
export WINEPREFIX=$out/wine
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
log=$out/wine-boot.log
dialog_prefix=$out/wine-dialog
stop_wine() {
  "$wineserver" -k >/dev/null 2>&1 || true
  WINEPREFIX=$dialog_prefix "$wineserver" -k >/dev/null 2>&1 || true
}
trap 'stop_wine; summary' EXIT
"$wineserver" -p
echo "== wine: booting a fresh prefix in $WINEPREFIX"
"$wine" wineboot --init </dev/null >"$log" 2>&1
"$wine" winecfg -v win10 </dev/null >>"$log" 2>&1
# The server keeps the version it booted with in the kernel's shared data
# page until it restarts; restart it so that every source agrees on 10.0
# (-w: the old server is gone before the new one starts, however long that takes).
"$wineserver" -k >/dev/null 2>&1 || true
"$wineserver" -w >/dev/null 2>&1 || true
"$wineserver" -p
"$wine" cmd /c exit </dev/null >>"$log" 2>&1

# ---- 2. Unit tests ------------------------------------------------------------
label=(-LE 'large|dialog-glue')
if [ "${RK_LARGE:-0}" = 1 ]; then label=(-LE dialog-glue); fi
echo "== Windows unit tests under wine"
# A failure here is remembered, and the rest still runs.
fail=0
unit=0
ctest --test-dir "$out/rk" -j"$jobs" --timeout 1800 --output-on-failure "${label[@]}" </dev/null || unit=1

tp=$out/rk/tests/platform/test_platform.exe
if [ -f "$tp" ]; then
  for zone in America/New_York Europe/Berlin Asia/Tokyo; do
    if [ -f "/usr/share/zoneinfo/$zone" ]; then
      echo "== local time under TZ=$zone"
      TZ=$zone "$wine" "$tp" --gtest_filter='Win32LocalTime.*' --gtest_brief=1 </dev/null || unit=1
    else
      echo "== local time under TZ=$zone skipped: /usr/share/zoneinfo has no $zone (package tzdata)"
    fi
  done
fi

if [ $unit = 0 ]; then record unit ok; else record unit FAILED; fail=1; fi

# ---- 3. The dialog glue test in its own null-driver prefix ----------------------
if [ ! -f "$out/rk/tests/dialog/test_dialog_glue.exe" ]; then
  record dialog-glue skipped
else
  echo "== dialog glue test under wine's null graphics driver in $dialog_prefix"
  rm -rf "$dialog_prefix"
  mkdir -p "$dialog_prefix"
  (
    export WINEPREFIX=$dialog_prefix
    "$wineserver" -p
    "$wine" wineboot --init </dev/null >"$out/wine-dialog-boot.log" 2>&1
    "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >>"$out/wine-dialog-boot.log" 2>&1
    # The driver is read when the server starts a session: restart it.
    "$wineserver" -k >/dev/null 2>&1 || true
    "$wineserver" -w >/dev/null 2>&1 || true
    "$wineserver" -p
    "$wine" cmd /c exit </dev/null >>"$out/wine-dialog-boot.log" 2>&1
    ctest --test-dir "$out/rk" --timeout 1200 --output-on-failure -L dialog-glue </dev/null
  ) && record dialog-glue ok || { record dialog-glue FAILED; fail=1; }
  WINEPREFIX=$dialog_prefix "$wineserver" -k >/dev/null 2>&1 || true
fi

# ---- 4. The same movie from both builds ----------------------------------------
linux=${RK_LINUX_BUILD:-$root/build}
winbin=$out/bin
if [ ! -f "$winbin/reelkiln.exe" ] || [ ! -x "$linux/movie/reelkiln" ]; then
  echo "== movie comparison skipped: needs $winbin/reelkiln.exe and $linux/movie/reelkiln"
  record scenes skipped
  exit $fail
fi
if ! /usr/bin/python3 -c 'import png' 2>/dev/null; then
  echo "test-windows: python3-png is missing (bash tools/deps.sh installs it)" >&2
  record scenes FAILED
  exit 1
fi
scenes_fail=0

scenes=$out/scenes
rm -rf "$scenes"
mkdir -p "$scenes"

# make_scene DIR KIND: frames and sound of a few kinds, generated here so that
# the scene never passes through reelkiln's own code.
make_scene() {
  /usr/bin/python3 - "$1" "$2" <<'PY'
import os, random, struct, sys, wave
import png
d, kind = sys.argv[1], sys.argv[2]
os.makedirs(d, exist_ok=True)
rnd = random.Random(kind)
def frame(path, w, h, alpha, seed):
    rows = []
    for y in range(h):
        row = []
        for x in range(w):
            px = [(x * 7 + seed * 13) & 255, (y * 11 + seed) & 255, (x * y + rnd.randrange(32)) & 255]
            if alpha:
                px.append(255 if (x + y) % 4 else (x * 29 + seed) & 255)
            row.extend(px)
        rows.append(row)
    with open(path, 'wb') as f:
        png.Writer(w, h, greyscale=False, alpha=alpha).write(f, rows)
def sound(path, channels, width, rate, frames):
    with wave.open(path, 'wb') as f:
        f.setnchannels(channels); f.setsampwidth(width); f.setframerate(rate)
        f.writeframes(bytes(rnd.randrange(256) for _ in range(frames * channels * width)))
if kind == 'rgb':        # odd width (row padding), list.txt with CR LF, 16-bit stereo
    names = ['f%03d.png' % i for i in range(12)]
    for i, n in enumerate(names): frame(os.path.join(d, n), 33, 17, False, i)
    with open(os.path.join(d, 'list.txt'), 'wb') as f:
        f.write(b'// scene rgb\r\n' + b''.join(n.encode() + b'\r\n' for n in names))
    sound(os.path.join(d, 'music.wav'), 2, 2, 44100, 4410)
elif kind == 'alpha':    # no list.txt (the program writes it), 8-bit mono with an odd length
    # Names whose order differs between comparing upper-cased (as NTFS and
    # both builds do) and lower-cased ('^' and '_' lie between the two
    # alphabets); made in a shuffled order, each frame different.
    names = ['f.png', 'F1.png', 'fa.png', 'f^.png', 'f_b.png', 'G.png', 'g_.png']
    order = list(range(len(names))); rnd.shuffle(order)
    for i in order: frame(os.path.join(d, names[i]), 20, 10, True, i)
    sound(os.path.join(d, 'music.wav'), 1, 1, 22050, 2205)
elif kind == 'silent':   # no sound, the first frame larger than the rest
    frame(os.path.join(d, 's0.png'), 40, 30, False, 0)
    for i in range(1, 5): frame(os.path.join(d, 's%d.png' % i), 24, 18, False, i)
    with open(os.path.join(d, 'list.txt'), 'wb') as f:
        f.write(b''.join(b's%d.png\r\n' % i for i in range(5)))
elif kind == 'missing':  # the third listed image is not there: -6 and a message box
    for i in (0, 1, 3): frame(os.path.join(d, 'm%d.png' % i), 16, 8, False, i)
    with open(os.path.join(d, 'list.txt'), 'wb') as f:
        f.write(b''.join(b'm%d.png\r\n' % i for i in range(4)))
elif kind == 'wide':     # in a folder the ANSI code page cannot name: the wide-name path
    for i in range(5): frame(os.path.join(d, 'w%d.png' % i), 18, 9, i % 2 == 0, i)
    sound(os.path.join(d, 'music.wav'), 2, 1, 8000, 801)
elif kind == 'widelist': # the same with a list given
    for i in range(4): frame(os.path.join(d, 'v%d.png' % i), 12, 6, False, i)
    with open(os.path.join(d, 'list.txt'), 'wb') as f:
        f.write(b''.join(b'v%d.png\r\n' % (3 - i) for i in range(4)))
    sound(os.path.join(d, 'music.wav'), 1, 2, 11025, 1103)
elif kind == 'many':     # more frames than the workers hold at once, of two sizes, a line too long
    names = ['n%03d.png' % i for i in range(60)]
    for i, n in enumerate(names): frame(os.path.join(d, n), 26 if i % 4 else 31, 14 if i % 4 else 9, i % 3 == 0, i)
    with open(os.path.join(d, 'list.txt'), 'wb') as f:
        f.write(b''.join(n.encode() + b'\r\n' + (b'x' * 70 + b'\r\n' if i == 20 else b'') for i, n in enumerate(names)))
    sound(os.path.join(d, 'music.wav'), 2, 2, 8000, 800)
elif kind == 'broken':   # frame 38 of 50 cut short: -6 in the frame loop, the frames before it written
    names = ['b%03d.png' % i for i in range(50)]
    for i, n in enumerate(names): frame(os.path.join(d, n), 22, 12, False, i)
    with open(os.path.join(d, 'b037.png'), 'r+b') as f: f.truncate(os.path.getsize(f.name) * 2 // 3)
    with open(os.path.join(d, 'list.txt'), 'wb') as f:
        f.write(b''.join(n.encode() + b'\r\n' for n in names))
PY
}

# Scenes: kind, the folder's name, and the exit code both programs must give
# (-6, a missing image, shows as 250 on both sides).  The wide scenes live
# in a folder named in Japanese, which the Windows program can reach only by
# wide names, while the Linux one reaches it by its UTF-8 bytes.
scene_table=(
  "rgb rgb 0"
  "alpha alpha 0"
  "silent silent 0"
  "missing missing 250"
  "wide wide-$(printf '\xe3\x82\xb7\xe3\x83\xbc\xe3\x83\xb3') 0"
  "widelist widelist-$(printf '\xe5\x8b\x95\xe7\x94\xbb') 0"
  "many many 0"
  "broken broken 250"
)
echo "== the same scenes through the Linux and the Windows programs"
for row in "${scene_table[@]}"; do
  read -r kind folder want <<<"$row"
  for prog in reelkiln reelkiln30; do
    [ -f "$winbin/$prog.exe" ] && [ -x "$linux/movie/$prog" ] || continue
    base=$scenes/$folder-$prog
    make_scene "$base-linux" "$kind"
    cp -r "$base-linux" "$base-win"
    cp "$linux/movie/$prog" "$base-linux/"
    cp "$winbin/$prog.exe" "$base-win/"
    set +e
    (cd "$base-linux" && "./$prog" </dev/null >run.log 2>&1); rl=$?
    (cd "$base-win" && "$wine" "$prog.exe" </dev/null >run.log 2>&1); rw=$?
    set -e
    what="$kind scene, $prog"
    if [ "$rl" != "$want" ] || [ "$rw" != "$want" ]; then
      echo "FAILED: $what: exit code $rl on Linux, $rw on Windows, $want wanted (logs in $base-*/run.log)"
      scenes_fail=1
    elif [ -f "$base-linux/movie.avi" ] || [ -f "$base-win/movie.avi" ] \
         && ! cmp -s "$base-linux/movie.avi" "$base-win/movie.avi"; then
      echo "FAILED: $what: the movies differ ($(cmp "$base-linux/movie.avi" "$base-win/movie.avi" 2>&1 | head -1))"
      scenes_fail=1
    elif ! cmp -s "$base-linux/list.txt" "$base-win/list.txt"; then
      echo "FAILED: $what: the lists differ"
      scenes_fail=1
    elif [ -f "$base-win/movie.avi" ]; then
      echo "ok: $what: exit code $want, the same $(stat -c %s "$base-win/movie.avi")-byte movie on both systems"
    else
      echo "ok: $what: exit code $want, no movie on either system"
    fi
  done
done
if [ $scenes_fail = 0 ]; then record scenes ok; else record scenes FAILED; fail=1; fi
exit $fail
