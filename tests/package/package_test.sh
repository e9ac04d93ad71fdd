#!/bin/sh
# Builds the Debian package the way a user does (a Release build without tests, cpack -G DEB),
# checks it with lintian, unpacks it into a scratch root and uses it there as an ordinary user
# would after installing it: as root the test runs the programs as nobody.
# Arguments: the source directory, a build directory for the package (kept between runs).
set -eu
source_dir="$1"
build="$2"

cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DOMRIX_BUILD_TESTS=OFF -DOMRIX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" >"$build.log" 2>&1 || {
  tail -n 40 "$build.log"
  exit 1
}
rm -f "$build"/omrix_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls "$build"/omrix_*.deb)"

# Errors fail; the remaining warnings are those of one package holding library, header and
# programs, and of CPack's own ldconfig calls.
lintian --fail-on error "$deb"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
root="$work/root"
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/omrix.desktop"
for page in omrixctl omrix; do
  warnings="$(man -l --warnings "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || { echo "$page(1): $warnings"; exit 1; }
  man -l "$root/usr/share/man/man1/$page.1.gz" 2>/dev/null | grep -q "^NAME"
done
man -l "$root/usr/share/man/man1/omrixctl.1.gz" 2>/dev/null | grep -q "^SUBCOMMANDS"

# What bash offers after a few words, from the packaged completion.
completions() {
  bash -c '. /usr/share/bash-completion/bash_completion; . "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _omrixctl omrixctl "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    echo "${COMPREPLY[*]}"' completion "$root/usr/share/bash-completion/completions/omrixctl" "$@"
}
completions omrixctl "" | grep -qw setup
completions omrixctl program "" | grep -qw cpu3
completions omrixctl --port-io "" | grep -qw ppdev
completions omrixctl cpu "" | grep -qw disable

listing() {
  (cd "$root" && find . -printf '%p %M %s %l\n' | sort && find . -type f -exec sha256sum {} + | sort)
}
listing >"$work/before"

home="$work/home"
mkdir -m 700 "$home"
as_user=""
if [ "$(id -u)" -eq 0 ]; then
  chown nobody:nogroup "$home"
  as_user="setpriv --reuid=nobody --regid=nogroup --clear-groups"
fi
run() { exec $as_user env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 "$@"; }
state="$home/.local/state/omrix"

(run "$root/usr/bin/omrixctl" setup) >"$work/setup.out" 2>&1 || true
tail -n 1 "$work/setup.out" | grep -q -- "-> ready" || {
  cat "$work/setup.out"
  exit 1
}
test -f "$state/omrix.dat"
[ "$(stat -c %a "$state")" = 700 ] || { echo "state directory is $(stat -c %a "$state")"; exit 1; }

# The window's start-up, then the end a signal asks for; its log lies in the state directory.
(run QT_QPA_PLATFORM=offscreen "$root/usr/bin/omrix") >"$work/omrix.out" 2>&1 &
window=$!
tries=0
until [ -s "$state/omrix.log" ]; do
  tries=$((tries + 1))
  [ "$tries" -le 600 ] || { kill "$window"; cat "$work/omrix.out"; exit 1; }
  sleep 0.1
done
kill -TERM "$window"
status=0
wait "$window" || status=$?
[ "$status" -eq 143 ] || { echo "omrix ended with $status"; cat "$work/omrix.out"; exit 1; }
test -s "$state/omrix.log"

listing >"$work/after"
cmp -s "$work/before" "$work/after" || {
  diff "$work/before" "$work/after" | head -n 20
  exit 1
}
echo "the package installs and runs for an ordinary user"
