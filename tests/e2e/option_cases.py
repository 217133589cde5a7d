"""The end-to-end cases with command-line options: help, version, mistakes,
-C, --check, -v, --map, and scripts with a byte-order mark. PROGRAM in an
expected text stands for the program's name, VERSION for the project's."""
from cases import ABC, ABC_STREAM, SRC, Case, be32, layout

BOTH = ("hackcomp", "hackcompbox")
FILES = {"src.bin": SRC, "abc.bin": ABC, "three.bin": b"xyz", "four.bin": b"wxyz1"}
# A script that would make out.bin: a case that must touch nothing leaves none.
BUILD = b"20 8 src.bin out.bin P P1 AA"
BUILT = layout(SRC, {1: b"\xAA"})
USAGE = b"Usage: PROGRAM [OPTION]...\n"


def mistake(name, args, text):
    return Case(name, BUILD, files=FILES, args=args, status=2, programs=BOTH,
                stderr=b"PROGRAM: " + text + b'; see "PROGRAM --help"\n')


OPTION_CASES = [
    # Nothing is built or touched by help, version or a mistake.
    *[Case(f"help {arg}", BUILD, files=FILES, args=[arg], stdout_start=USAGE, stderr=b"",
           programs=BOTH) for arg in ("-h", "--help", "/?")],
    Case("help wins over a build option", BUILD, files=FILES, args=["-v", "--help"],
         stdout_start=USAGE, programs=BOTH),
    Case("version", BUILD, files=FILES, args=["--version"], stdout=b"PROGRAM VERSION\n",
         stderr=b"", programs=BOTH),
    mistake("unknown option", ["--frobnicate"], b'unknown option "--frobnicate"'),
    mistake("unknown option after a known one", ["--check", "-q"], b'unknown option "-q"'),
    mistake("-C without its folder", ["-C"], b'option "-C" needs DIR'),
    mistake("--map without its file", ["--map"], b'option "--map" needs FILE'),
    Case("-C to a missing folder", BUILD, files=FILES, args=["-C", "nowhere"], status=2,
         stderr=b'PROGRAM: Can\'t change to folder "nowhere"\n', programs=BOTH),
    Case("arguments without a dash are ignored", BUILD, files=FILES, args=["build", "it"],
         expected=BUILT, stderr=b""),

    # -C: the script, its files and the destination are those of the folder.
    Case("-C builds in the folder", b"", no_script=True, args=["-C", "mod"],
         files={"mod/conf.txt": BUILD, "mod/src.bin": SRC, "src.bin": b"not this one"},
         destination="mod/out.bin", expected=BUILT, programs=BOTH),
    Case("-C and --check", b"", no_script=True, args=["-C", "mod", "--check"],
         files={"mod/conf.txt": BUILD + b" D nope.bin N Z", "mod/src.bin": SRC},
         destination="mod/out.bin", status=1, programs=BOTH,
         stderr=b'conf.txt:1:32: error: Can\'t open "nope.bin"\n'
                b"20 8 src.bin out.bin P P1 AA D nope.bin N Z\n"
                b"                               ^\n"
                b"PROGRAM: checked 2 commands, 0 data files placed, 1 byte to write, "
                b"1 error, 0 warnings, T s\n"),
]

# Every warning, then an error that stops the build, in a dry run over an
# older destination (the source is missing): every file stays as it was.
EVERY_WARNING = (b"20 8 missing.bin out.bin\n"
                 b"# fix the Palette colours\n"
                 b"d three.bin N Z\n"
                 b"D abc.bin N z\n"
                 b"D three.bin P2A a\n"
                 b"O A3 4 1234\n"
                 b'P P0 "01 02\n'
                 b'D three.bin N Z"\n'
                 b"\tD nope.bin N Z\n"
                 b"P P1 FF\n")
EVERY_WARNING_STDERR = b"""\
conf.txt:1:6: warning: Can't open source "missing.bin": the older destination "out.bin" is changed in place
20 8 missing.bin out.bin
     ^
conf.txt:2:7: warning: Comment not quoted: it ends after "fix" and the rest of the line is read as commands
# fix the Palette colours
      ^
conf.txt:2:12: warning: "a" is not an offset type and counts as 0; use A, D, N or P
# fix the Palette colours
           ^
conf.txt:2:19: warning: Skipped "colours": not a command
# fix the Palette colours
                  ^
conf.txt:3:1: warning: Skipped "d three.bin N Z": not a command; did you mean "D"
d three.bin N Z
^
conf.txt:4:13: warning: Mode "z" places the data raw; did you mean "Z"
D abc.bin N z
            ^
conf.txt:5:17: warning: Mode "a" places the data raw; did you mean "A"
D three.bin P2A a
                ^
conf.txt:5:3: warning: Data "three.bin" is placed over data "abc.bin" placed earlier
D three.bin P2A a
  ^
conf.txt:6:8: warning: "1" is not an offset type and counts as 0; use A, D, N or P
O A3 4 1234
       ^
conf.txt:6:9: warning: Skipped "234": not a command
O A3 4 1234
        ^
conf.txt:7:6: warning: Quoted text runs past its line and takes in the command on line 8
P P0 "01 02
     ^
conf.txt:9:4: error: Can't open "nope.bin"
\tD nope.bin N Z
\t  ^
PROGRAM: checked 7 commands, 2 data files placed, 24 bytes to write, 1 error, 11 warnings, T s
"""
OLDER = b"older destination"

# Z, A and raw, and O patches into the archive table (at 8) and elsewhere.
ALL_MODES = (b"20 8 src.bin out.bin\n"
             b"D abc.bin N Z\nD three.bin N A\nD four.bin N R\n"
             b"O A0 4 Dabc.bin\nO A1 2 Dthree.bin\nO A2 4 N\nO P0 1 N\n")
ALL_MODES_BUILT = layout(SRC, {0x20: ABC_STREAM, 0x26: b"\x00\x06\x07xyz", 0x2C: b"wxyz1",
                               8: be32(0x20), 0xC: b"\x00\x26", 0x10: be32(0x32), 0: b"\x32"})
ALL_MODES_MAP = b"""\
Data placed (positions in hex, sizes in bytes)
data       mode  position  file size  stored  end  NextFree after
abc.bin    Z     20        12         6       26   26
three.bin  A     26        3          6       2C   2C
four.bin   raw   2C        5          5       31   32

Archive table entries written by O (positions and values in hex)
entry  position  bytes  value  data
0      8         4      20     abc.bin
1      C         2      26     three.bin
2      10        4      32
"""

BOM = b"\xef\xbb\xbf"

OPTION_CASES += [
    Case("--check with every warning and an error", EVERY_WARNING, files={**FILES, "out.bin": OLDER},
         args=["--check"], status=1, expected=OLDER, stderr=EVERY_WARNING_STDERR, programs=BOTH),
    Case("--check of a good script makes no destination", BUILD, files=FILES, args=["--check"],
         programs=BOTH, stderr=b"PROGRAM: checked 1 command, 0 data files placed, 1 byte to write, "
                               b"0 errors, 0 warnings, T s\n"),
    Case("--check: no source and no older destination", b"20 8 missing.bin out.bin P P1 AA",
         files=FILES, args=["--check"], status=1, programs=BOTH,
         stderr=b"conf.txt:1:18: error: Can't open hack\n20 8 missing.bin out.bin P P1 AA\n"
                b"                 ^\nPROGRAM: checked 0 commands, 0 data files placed, "
                b"0 bytes to write, 1 error, 0 warnings, T s\n"),
    Case("--check: a data file that is the destination cannot be opened, as in a build",
         b"20 8 src.bin out.bin D out.bin N R", files={**FILES, "out.bin": OLDER}, args=["--check"],
         status=1, expected=OLDER, programs=BOTH,
         stderr=b'conf.txt:1:24: error: Can\'t open "out.bin"\n20 8 src.bin out.bin D out.bin N R\n'
                b"                       ^\nPROGRAM: checked 1 command, 0 data files placed, "
                b"0 bytes to write, 1 error, 0 warnings, T s\n"),
    Case("--check: a patch ending past the last position is placed at its position",
         b'0 0 src.bin out.bin\nP P7FFFFFFF "01 02"\n', files=FILES, args=["--check"], status=1,
         programs=BOTH,
         stderr=b'conf.txt:2:3: error: Offset out of range\nP P7FFFFFFF "01 02"\n  ^\n'
                b"PROGRAM: checked 1 command, 0 data files placed, 0 bytes to write, "
                b"1 error, 0 warnings, T s\n"),
    Case("--check of a UTF-16 script", b"\xff\xfe8\x000\x000\x00 \x008\x00", files=FILES,
         args=["--check"], status=1, programs=BOTH,
         stderr=b"conf.txt:1:1: error: DataOffset expected\n\xff\xfe8 0 0   8 \n^\n"
                b"conf.txt:1:1: warning: The script is in UTF-16; save it as UTF-8 or ANSI\n"
                b"\xff\xfe8 0 0   8 \n^\n"
                b"PROGRAM: checked 0 commands, 0 data files placed, 0 bytes to write, "
                b"1 error, 1 warning, T s\n"),
    # "p P2 BB": p is skipped, then P takes "2" as its (null) offset type.
    Case("-v builds and places its messages", b"20 8 src.bin out.bin\nP P1 AA\nO P0 1 Dnope\np P2 BB\n",
         files=FILES, args=["-v"], status=1, stdout=b'Data not found "nope"',
         expected=layout(SRC, {0: b"\xBB", 1: b"\xAA"}),
         stderr=b'conf.txt:3:9: error: Data not found "nope"\nO P0 1 Dnope\n        ^\n'
                b'conf.txt:4:1: warning: Skipped "p": not a command; did you mean "P"\np P2 BB\n^\n'
                b'conf.txt:4:4: warning: "2" is not an offset type and counts as 0; use A, D, N or P\n'
                b"p P2 BB\n   ^\n"
                b"PROGRAM: 3 commands, 0 data files placed, 3 bytes written, 1 error, "
                b"2 warnings, T s\n"),
    Case("--map after a build with all three modes", ALL_MODES, files=FILES,
         args=["--map", "placed.txt"], expected=ALL_MODES_BUILT, creates={"placed.txt": ALL_MODES_MAP},
         programs=BOTH),
    Case("--map - with --check", ALL_MODES, files=FILES, args=["--check", "--map", "-"],
         stdout=ALL_MODES_MAP, programs=BOTH,
         stderr=b"PROGRAM: checked 7 commands, 3 data files placed, 28 bytes to write, "
                b"0 errors, 0 warnings, T s\n"),

    # A byte-order mark is skipped; columns count from after it, CR LF is one break.
    Case("a script with a byte-order mark", BOM + BUILD, files=FILES, expected=BUILT, stderr=b""),
    Case("a script with a byte-order mark and CR LF lines, checked",
         BOM + b"20 8 src.bin out.bin\r\nP P1 AA\r\nO A1 4 Dnope\r\n", files=FILES,
         args=["--check"], status=1, programs=BOTH,
         stderr=b'conf.txt:3:9: error: Data not found "nope"\nO A1 4 Dnope\n        ^\n'
                b"PROGRAM: checked 2 commands, 0 data files placed, 5 bytes to write, "
                b"1 error, 0 warnings, T s\n"),
]
