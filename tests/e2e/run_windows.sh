#!/usr/bin/env bash
# Builds the Windows programs (32-bit deliverable and 64-bit test build),
# checks that they import only the system's own DLLs, and runs the
# end-to-end table and the message-box test against the 64-bit build under
# Wine (this kernel cannot run 32-bit programs).
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"

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

wine=${WINE:-/usr/lib/wine/wine64}
export WINEDEBUG=-all
WINEPREFIX=$(mktemp -d /tmp/hackcomp-wine-XXXXXX)
export WINEPREFIX
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
echo "== creating the Wine prefix"
"$wine" cmd /c exit >/dev/null 2>&1 || true

echo "== end-to-end table under Wine"
python3 tests/e2e/run_cases.py --program build/windows-x86_64/bin/hackcomp.exe \
    --launcher "$wine" --platform windows

echo "== message boxes under Xvfb"
python3 tests/e2e/wine_box_test.py --program build/windows-x86_64/bin/hackcompbox.exe \
    --wine "$wine" --screenshots build/windows-x86_64/box-screenshots
