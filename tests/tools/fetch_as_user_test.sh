#!/usr/bin/env bash
# tools/fetch-libpng-source.sh run by a user who is not root, with apt-get,
# sudo and dpkg-source replaced by stand-ins that only record what they were
# asked: the system's files are never touched.  Run as root, the script is
# run as the user "nobody"; run by anyone else, as that user.
#
# It must put its cache under the user's home, do every step that changes
# the system (the source entry, the package lists, removing the entry)
# through sudo, and download and unpack as the user.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
mkdir -p "$work/bin" "$work/home"
log=$work/home/calls.log

cat > "$work/bin/sudo" <<'STUB'
#!/usr/bin/env bash
# Records the command; a tee only swallows its input.
echo "sudo $*" >> "$HOME/calls.log"
[ "$1" = tee ] && cat > /dev/null
exit 0
STUB
cat > "$work/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
echo "apt-get $*" >> "$HOME/calls.log"
case " $* " in
  *" source "*) echo "Format: 3.0 (quilt)" > libpng1.6_1.6.39-2.dsc ;;
esac
exit 0
STUB
cat > "$work/bin/dpkg-source" <<'STUB'
#!/usr/bin/env bash
echo "dpkg-source $*" >> "$HOME/calls.log"
mkdir -p "${@: -1}" && touch "${@: -1}/png.c"
STUB
chmod 755 "$work/bin"/*
chmod 777 "$work/home"

# The script runs from a copy in the work folder: "nobody" cannot read a
# clone under root's own home (/root is mode 700), and the script needs
# nothing of the clone.
cp "$here/tools/fetch-libpng-source.sh" "$work/fetch-libpng-source.sh"
chmod 755 "$work/fetch-libpng-source.sh"
# The shared cache that root may have filled is not to be found here.
run=(env -i "PATH=$work/bin:/usr/bin:/bin" "HOME=$work/home" "RK_SHARED_CACHE=$work/none")
if [ "$(id -u)" = 0 ]; then
  run=(setpriv --reuid=65534 --regid=65534 --clear-groups "${run[@]}")
fi
got=$(cd "$work" && "${run[@]}" bash "$work/fetch-libpng-source.sh" 2>"$work/stderr") || {
  echo "fetch-libpng-source.sh failed as a user:"; cat "$work/stderr"; exit 1; }

fail=0
want_dir=$work/home/.cache/reelkiln/libpng1.6-1.6.39-2
if [ "$got" != "$want_dir" ]; then
  echo "unpacked into '$got', not under the user's home"; fail=1
fi
list=/etc/apt/sources.list.d/reelkiln-src.list
for want in "sudo tee $list" "sudo apt-get update -qq" "sudo rm -f $list"; do
  grep -qxF -- "$want" "$log" || { echo "missing: $want"; fail=1; }
done
if grep -E '^apt-get update' "$log" >/dev/null; then echo "apt-get update ran without sudo"; fail=1; fi
grep -qE '^apt-get source --download-only' "$log" || { echo "the download did not run as the user"; fail=1; }
[ "$fail" = 0 ] || { echo "--- calls:"; cat "$log"; exit 1; }
echo "ok: cache $got, system steps through sudo"
