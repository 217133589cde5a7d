#!/usr/bin/env bash
# Builds the programs, runs the bundled example in a scratch copy of its
# folder and shows the bytes the build changed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
# Presets are found in the current folder: build from the top of the tree.
(cd "$top" && cmake --preset programs >/dev/null && cmake --build --preset programs --target hackcomp >/dev/null)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here"/quickstart/* "$work"
echo "conf.txt:"
sed 's/^/    /' "$work/conf.txt"
(cd "$work" && "$top/build/programs/bin/hackcomp") && echo "hackcomp: build ended without a message"
echo "out.dat at 0x200 (P patch):";          od -A x -t x1z -j 0x200 -N 16 "$work/out.dat"
echo "out.dat at 0x430 (archive entry 12):"; od -A x -t x1z -j 0x430 -N 16 "$work/out.dat"
echo "out.dat at 0x20000 (title.bin, $(stat -c %s "$work/title.bin") bytes, as an LZSS stream):"
od -A x -t x1z -j 0x20000 "$work/out.dat"
