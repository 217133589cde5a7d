#!/usr/bin/env bash
# Builds the Windows programs (the 32-bit deliverables and a 64-bit build),
# checks that they import only the system's own DLLs, and runs the
# end-to-end table and the message-box test under Wine: first against the
# 64-bit build (the quick run), then against the 32-bit deliverables. This
# kernel refuses 32-bit system calls, so 32-bit Wine runs under qemu's
# user-mode emulator; `.ci/wine32` (as root) installs it and registers qemu
# for i386 programs. As root, the full-disk cases run in small tmpfs mounts;
# otherwise they are skipped under Wine.
#
#     run_windows.sh [64] [32]      the runs to make; both when none is named
#
# WINE64 and WINE32 name the launchers when they are not where the packages
# put them.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
runs=("$@")
[ ${#runs[@]} -gt 0 ] || runs=(64 32)

cmake --workflow --preset windows
cmake --workflow --preset windows-x86_64

echo "== imported DLLs"
allowed='^(KERNEL32|USER32|msvcrt)\.dll$'
bad=0
for exe in build/windows-i686/bin/*.exe build/windows-x86_64/bin/*.exe; do
    dlls=$(objdump -p "$exe" | awk '/DLL Name:/ {print $3}')
    echo "$exe: $(echo $dlls)"
    for dll in $dlls; do
        if ! [[ $dll =~ $allowed ]]; then echo "  not a system DLL: $dll"; bad=1; fi
    done
done
[ "$bad" = 0 ] || exit 1
objdump -f build/windows-i686/bin/hackcomp.exe | grep -q 'pei-i386' || { echo "hackcomp.exe is not 32-bit"; exit 1; }

# The program NAME from the file list of PACKAGE.
packaged_program() {  # packaged_program PACKAGE NAME
    local path
    dpkg -L "$1" 2>/dev/null | while read -r path; do
        if [ "${path##*/}" = "$2" ] && [ -f "$path" ] && [ -x "$path" ]; then echo "$path"; break; fi
    done
}
# Not the `wine` on the PATH for the 32-bit launcher: that one falls back to
# the 64-bit launcher when the 32-bit one is missing.
wine64=${WINE64:-$(command -v wine64 || packaged_program wine64 wine64)}
[ -n "$wine64" ] || { echo "no 64-bit Wine: apt-get install wine64"; exit 1; }

export WINEDEBUG=-all
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/hackcomp-wine-XXXXXX")
export WINEPREFIX
wineserver=$(command -v wineserver || packaged_program wine64 wineserver64)
trap '"$wineserver" -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
echo "== creating the Wine prefix"
started=$SECONDS
"$wine64" wineboot --init >/dev/null 2>&1
echo "prefix ready in $((SECONDS - started)) s"

full_disk=()
[ "$(id -u)" != 0 ] || full_disk=(--full-disk tmpfs)

# run_under_wine BITS LAUNCHER BUILD-FOLDER
run_under_wine() {
    local bits=$1 wine=$2 folder=$3 status=0
    started=$SECONDS
    echo "== end-to-end table under $bits-bit Wine ($folder/bin/hackcomp.exe)"
    python3 tests/e2e/run_cases.py --program "$folder/bin/hackcomp.exe" --launcher "$wine" \
        --platform windows ${full_disk[@]+"${full_disk[@]}"} || status=1
    echo "== message boxes under $bits-bit Wine and Xvfb"
    python3 tests/e2e/wine_box_test.py --program "$folder/bin/hackcompbox.exe" --wine "$wine" \
        --screenshots "$folder/box-screenshots" || status=1
    echo "$bits-bit Wine run: $((SECONDS - started)) s"
    return $status
}

failed=0
for bits in "${runs[@]}"; do
    case $bits in
    64)
        run_under_wine 64 "$wine64" build/windows-x86_64 || failed=1
        ;;
    32)
        wine32=${WINE32:-$(packaged_program wine32:i386 wine)}
        if [ -z "$wine32" ] || ! "$wine32" --version >/dev/null 2>&1; then
            echo "32-bit Wine does not run here: run .ci/wine32 as root first"
            exit 1
        fi
        run_under_wine 32 "$wine32" build/windows-i686 || failed=1
        ;;
    *)
        echo "unknown run \"$bits\": 64 or 32"
        exit 2
        ;;
    esac
done
exit $failed
