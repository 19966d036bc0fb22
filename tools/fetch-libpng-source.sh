#!/usr/bin/env bash
# Fetches and unpacks Debian's libpng1.6 source package once, into a cache
# outside the clone, and prints the unpacked directory.  The PNG tests take
# their image corpus from it (contrib/pngsuite, contrib/testpngs) and the
# Windows build compiles a static libpng from it.
#
# A deb-src entry for the machine's suite is added for the download and
# removed afterwards.  When the newest revision is missing from the archive,
# the suite's own revision is asked for.
#
# Who may do what: the cache is /var/cache/reelkiln for root and
# ~/.cache/reelkiln (XDG_CACHE_HOME) for everybody else, RK_CACHE overriding
# both; a copy root already unpacked in /var/cache/reelkiln (RK_SHARED_CACHE)
# is used by everybody.  The apt steps that change the system (the source entry, the
# package lists) run through sudo unless the user is root, as tools/deps.sh
# installs; the download and the unpacking run as the user.
set -euo pipefail
shared=${RK_SHARED_CACHE:-/var/cache/reelkiln}
as_root=()
if [ "$(id -u)" = 0 ]; then
  cache=${RK_CACHE:-$shared}
else
  cache=${RK_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/reelkiln}
  as_root=(sudo)
fi
for dir in "$cache" "$shared"; do
  found=$(ls -d "$dir"/libpng1.6-*/ 2>/dev/null | head -n 1 || true)
  if [ -n "$found" ] && [ -f "$found/png.c" ]; then echo "${found%/}"; exit 0; fi
done
mkdir -p "$cache"

. /etc/os-release
suite=${VERSION_CODENAME:-bookworm}
list=/etc/apt/sources.list.d/reelkiln-src.list
cleanup() { "${as_root[@]}" rm -f "$list"; }
trap cleanup EXIT
key=/usr/share/keyrings/debian-archive-keyring.gpg
{
  echo "deb-src [signed-by=$key] http://deb.debian.org/debian $suite main"
  echo "deb-src [signed-by=$key] http://deb.debian.org/debian $suite-updates main"
  echo "deb-src [signed-by=$key] http://deb.debian.org/debian-security $suite-security main"
} | "${as_root[@]}" tee "$list" >/dev/null
"${as_root[@]}" apt-get update -qq >&2 || true
work=$(mktemp -d "$cache/dl.XXXXXX")
( cd "$work" && { apt-get source --download-only -qq libpng1.6 >&2 || apt-get source --download-only -qq "libpng1.6/$suite" >&2; } )
dsc=$(ls "$work"/libpng1.6_*.dsc | head -n 1)
( cd "$work" && dpkg-source --no-check -x "$dsc" src >&2 )
ver=$(basename "$dsc" .dsc); ver=${ver#libpng1.6_}
rm -rf "$cache/libpng1.6-$ver"
mv "$work/src" "$cache/libpng1.6-$ver"
rm -rf "$work"
echo "$cache/libpng1.6-$ver"
