#!/usr/bin/env bash
# Lists the Windows zip that `cmake --workflow --preset windows` makes and
# checks what it holds: exactly the two 32-bit programs, the user guide with
# CR LF line ends, the licence, the changelog whose top entry is the
# project's version, and the bundled example as it is in the tree.
# Usage: tests/release/check_zip.sh [ZIP]   (default: the one for this version)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -n 's/^project(hackcomp VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
zip=${1:-$top/build/windows-i686/hackcomp-$version-win32.zip}
[ -f "$zip" ] || { echo "no zip at $zip"; exit 1; }
echo "== $zip"
python3 - "$zip" "$version" "$top" <<'PY'
import os, struct, sys, zipfile

path, version, top = sys.argv[1:]
folder = f"hackcomp-{version}-win32/"
if not os.path.basename(path) == f"hackcomp-{version}-win32.zip":
    sys.exit(f"the zip's name does not carry version {version}")
example = os.path.join(top, "examples", "quickstart")
expected = {"hackcomp.exe", "hackcompbox.exe", "hackcomp-guide.txt", "LICENSE", "CHANGELOG.md"}
expected |= {"examples/quickstart/" + name for name in os.listdir(example)}
problems = []

with zipfile.ZipFile(path) as archive:
    files = {}
    for info in archive.infolist():
        print(f"{info.file_size:>10}  {info.filename}")
        if info.is_dir():
            continue
        if not info.filename.startswith(folder):
            problems.append(f"{info.filename}: outside {folder}")
            continue
        files[info.filename[len(folder):]] = archive.read(info)

for name in sorted(expected - files.keys()):
    problems.append(f"{name}: missing")
for name in sorted(files.keys() - expected):
    problems.append(f"{name}: not expected")

def is_i386_program(data):
    if data[:2] != b"MZ" or len(data) < 0x40:
        return False
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    return data[pe:pe + 4] == b"PE\0\0" and struct.unpack_from("<H", data, pe + 4)[0] == 0x14C

for exe in ("hackcomp.exe", "hackcompbox.exe"):
    if exe in files and not is_i386_program(files[exe]):
        problems.append(f"{exe}: not a 32-bit (i386) Windows program")

guide = files.get("hackcomp-guide.txt", b"")
if guide.count(b"\n") == 0 or guide.count(b"\n") != guide.count(b"\r\n"):
    problems.append("hackcomp-guide.txt: not CR LF line ends throughout")
if f"HACKCOMP {version}".encode() not in guide:
    problems.append(f"hackcomp-guide.txt: does not name version {version}")
for needle in (b"--pack", b"--unpack", b"Data too long", b"Offset out of range", b"--check"):
    if needle not in guide:
        problems.append(f"hackcomp-guide.txt: says nothing of {needle.decode()}")

if not files.get("LICENSE", b"").startswith(b"MIT License"):
    problems.append("LICENSE: not the MIT licence")

entries = [line for line in files.get("CHANGELOG.md", b"").decode().splitlines() if line.startswith("## ")]
if not entries or entries[0].split()[1] != version:
    problems.append(f"CHANGELOG.md: top entry {entries[:1]} is not version {version}")

for name in os.listdir(example):
    with open(os.path.join(example, name), "rb") as original:
        packed = files.get("examples/quickstart/" + name)
        if packed is not None and packed != original.read():
            problems.append(f"examples/quickstart/{name}: differs from the tree's")

for problem in problems:
    print("zip:", problem)
if problems:
    sys.exit(1)
print(f"zip: the {len(files)} files expected, version {version}")
PY
