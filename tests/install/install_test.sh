#!/bin/sh
# Installs the build into a new prefix, moves the tree elsewhere, and uses it there: a C program
# built with pkg-config against the installed header and library, then omrixctl.
# Arguments: the build directory, the C compiler, the flags every program of the build gets.
set -eu
build="$1"
cc="$2"
flags="$3"
source_dir="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/first" >/dev/null
mv "$work/first" "$work/moved"
tree="$work/moved"
unset OMRIX_LIBRARY_DIR OMRIX_STATE_DIR OMRIX_SIM OMRIX_PORT_IO

libdir="$(dirname "$(find "$tree" -name 'libomrix_dll.so.*' -type f)")"
# shellcheck disable=SC2086  # the flags are words
"$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror $flags "$source_dir/exports/c_program.c" \
  $(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs omrix) -o "$work/c_program"
# The installed library reads its data files from share/omrix and writes in the user's state.
export XDG_STATE_HOME="$work/state"
LD_LIBRARY_PATH="$libdir" "$work/c_program"

"$tree/bin/omrixctl" setup >"$work/setup.out" 2>&1
grep -q -- "-> ready" "$work/setup.out" || {
  cat "$work/setup.out"
  exit 1
}
test -f "$XDG_STATE_HOME/omrix/omrix.dat"
readelf -d "$tree/bin/omrix" | grep -q 'R.*PATH.*\$ORIGIN/../lib'
test -f "$tree/share/applications/omrix.desktop"
test -f "$tree/share/icons/hicolor/scalable/apps/omrix.svg"
echo "installed tree works"
