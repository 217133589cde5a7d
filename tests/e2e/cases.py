"""The end-to-end table: each case a conf.txt, its files, and what the run must
leave: standard output, exit status and the destination's bytes."""
import random
import signal
from dataclasses import dataclass, field


@dataclass
class Case:
    name: str
    script: bytes
    files: dict = field(default_factory=dict)
    stdout: bytes = b""
    status: int = 0
    destination: str = "out.bin"
    expected: bytes = None          # None: the destination must not exist
    sparse: tuple = None            # instead of expected: (size, {offset: bytes})
    links: dict = field(default_factory=dict)    # hard links: new name -> existing file
    folders: list = field(default_factory=list)
    file_size_limit: int = 0        # a full disk: room for this many bytes (run_cases.py)
    skip_on: dict = field(default_factory=dict)  # platform -> why the case cannot run there
    no_script: bool = False
    # POSIX hazards: special files, links, permissions, how the program is started.
    fifos: list = field(default_factory=list)        # names made FIFOs
    devices: dict = field(default_factory=dict)      # name -> (major, minor) of a character device; needs root
    symlinks: dict = field(default_factory=dict)     # name -> what the symbolic link points to
    modes: dict = field(default_factory=dict)        # name -> permission bits set before the run
    folder_writable: bool = True    # False: the case's folder takes no new file
    unprivileged: bool = False      # run as a user without root's rights (as nobody when run as root)
    umask: int = None
    closed_fds: list = field(default_factory=list)   # standard descriptors closed in the child
    reader_gone: bool = False       # standard output a pipe whose reader has gone
    timeout: int = 300
    destination_mode: int = None    # the destination's permission bits after the run
    max_allocated: int = None       # the most bytes the destination may take on disk
    kept_special: list = field(default_factory=list)  # names that must still be links, FIFOs or devices
    sparse_sources: dict = field(default_factory=dict)  # name -> size: a hole, then b"tail", after its bytes
    big_sources: dict = field(default_factory=dict)  # name -> size in MB of data written for real
    signal_during_copy: int = 0     # sent once the program holds the copy open
    args: list = field(default_factory=list)     # the command line after the program's name
    stderr: bytes = None            # None: not checked; PROGRAM stands for the program's name
    creates: dict = field(default_factory=dict)  # files the run must make: name -> bytes
    programs: tuple = ("hackcomp",)  # the programs the case holds for
    stdout_start: bytes = None      # instead of stdout: what it must start with

    def __post_init__(self):
        if not self.no_script:
            self.files = {"conf.txt": self.script, **self.files}


def layout(base, patches):
    """base with each {offset: bytes} written over it; gaps read as zeros."""
    data = bytearray(base)
    for offset, chunk in patches.items():
        if len(data) < offset:
            data.extend(bytes(offset - len(data)))
        data[offset:offset + len(chunk)] = chunk
    return bytes(data)


def be32(value):
    return (value & 0xFFFFFFFF).to_bytes(4, "big")


SRC = bytes(range(16))                 # the usual source: 00 01 .. 0F
ABC = b"abcabcabcabc"
ABC_STREAM = bytes.fromhex("07 61 62 63 00 60")
INCOMPRESSIBLE = random.Random(1210).randbytes(70000)


def literal_groups(data, size):
    """The first size bytes of the stream of data that has no repeated 3 bytes
    in its window: groups of flag byte FF and eight literal bytes."""
    groups = b"".join(b"\xff" + data[i:i + 8] for i in range(0, size, 8))
    return groups[:size]


# Special files, links, permissions and descriptors are hazards of POSIX systems.
POSIX_ONLY = {"windows": "a POSIX hazard"}
WINDOWS_ONLY = {"posix": "names a Windows device"}

EXAMPLE_SCRIPT = (b'20000\n400\nbase.dat out.dat\n#"title picture"\n'
                  b'D title.bin N Z\nO A12 4 Dtitle.bin\nP P200 "00 01 FF"\n')
EXAMPLE_BASE = bytes(0x800)

CASES = [
    # The header and start-up.
    Case("no conf.txt", b"", files={"src.bin": SRC}, no_script=True,
         stdout=b'Can\'t open "conf.txt"', status=1),
    Case("empty script", b"", files={"src.bin": SRC}, stdout=b"DataOffset expected", status=1),
    Case("script not starting with a number", b"src.bin out.bin", files={"src.bin": SRC},
         stdout=b"DataOffset expected", status=1),
    Case("one header value", b"20\n", files={"src.bin": SRC},
         stdout=b"ArchiveTableOffset expected", status=1),
    Case("header on one line with prefix and sign", b"0x10 -0 src.bin out.bin P N AA",
         files={"src.bin": SRC}, expected=layout(SRC, {0x10: b"\xAA"})),
    Case("script ending after the names copies the source", b"0 0 src.bin out.bin",
         files={"src.bin": SRC}, expected=SRC),
    Case("quoted names with blanks", b'0 0 "my src.bin" "my out.bin" P P1 AA',
         files={"my src.bin": SRC}, destination="my out.bin", expected=layout(SRC, {1: b"\xAA"})),
    Case("an older destination is replaced by the copy", b"0 0 src.bin out.bin P P1 AA",
         files={"src.bin": SRC, "out.bin": b"old destination, longer than the source"},
         expected=layout(SRC, {1: b"\xAA"})),
    Case("missing source and no destination", b"0 0 nothing.bin out.bin P P1 AA",
         stdout=b"Can't open hack", status=1),
    Case("missing source patches the older destination", b"0 0 nothing.bin out.bin P P1 AA",
         files={"out.bin": b"older"}, expected=b"o\xAAder"),
    Case("source equal to destination is patched in place", b"0 0 out.bin out.bin P P1 AA",
         files={"out.bin": SRC}, expected=layout(SRC, {1: b"\xAA"})),
    Case("source equal to destination by another path", b"0 0 out.bin ./out.bin P P1 AA",
         files={"out.bin": SRC}, expected=layout(SRC, {1: b"\xAA"})),
    Case("source a hard link of the destination", b"0 0 src.bin out.bin P P1 AA",
         files={"src.bin": SRC}, links={"out.bin": "src.bin"}, expected=layout(SRC, {1: b"\xAA"})),
    Case("destination is the script itself", b"0 0 src.bin conf.txt P P1 AA", files={"src.bin": SRC},
         destination="conf.txt", stdout=b"Can't open hack", status=1,
         expected=b"0 0 src.bin conf.txt P P1 AA"),
    Case("destination is a folder", b"0 0 src.bin out.bin P P1 AA", files={"src.bin": SRC},
         folders=["out.bin"], stdout=b"Can't open hack", status=1, expected=None),

    # The command loop.
    Case("a bare comment skips one word only", b"0 0 src.bin out.bin\n# patch the Offset table\n",
         files={"src.bin": SRC}, stdout=b"Length of offset patching expected", status=1,
         expected=SRC),
    Case("a quoted comment is one token", b'0 0 src.bin out.bin\n#"patch the Offset table"\n',
         files={"src.bin": SRC}, expected=SRC),
    Case("other characters between commands are skipped",
         b"0 0 src.bin out.bin d o p Z A N 5 ; x \x0b\x0c\x80 P P1 AA",
         files={"src.bin": SRC}, expected=layout(SRC, {1: b"\xAA"})),
    Case("byte FF ends the build", b"0 0 src.bin out.bin P P1 AA \xff P P2 BB",
         files={"src.bin": SRC}, expected=layout(SRC, {1: b"\xAA"})),
    Case("byte 1A ends the script", b"0 0 src.bin out.bin P P1 AA \x1a P P2 BB",
         files={"src.bin": SRC}, expected=layout(SRC, {1: b"\xAA"})),
    Case("CR LF lines", b"0\r\n0\r\nsrc.bin\r\nout.bin\r\nP P1 \"AA\r\nBB\"\r\n",
         files={"src.bin": SRC}, expected=layout(SRC, {1: b"\xAA\xBB"})),
    Case("a failing command keeps what came before and runs nothing after",
         b"0 0 src.bin out.bin P P1 AA O P2 P3 P P3 CC", files={"src.bin": SRC},
         stdout=b"Length of offset patching expected", status=1,
         expected=layout(SRC, {1: b"\xAA"})),
    Case("expression errors do not stop the build", b"0 0 src.bin out.bin O P1 1 A x O P2 1 P",
         files={"src.bin": SRC}, stdout=b"Archive id expectedHex adress expected", status=1,
         expected=layout(SRC, {1: b"\x00", 2: b"\x00"})),
    Case("example script without its D line", EXAMPLE_SCRIPT.replace(b"D title.bin N Z\n", b""),
         files={"base.dat": EXAMPLE_BASE}, destination="out.dat",
         stdout=b'Data not found "title.bin"', status=1,
         expected=layout(EXAMPLE_BASE, {0x430: be32(0), 0x200: b"\x00\x01\xFF"})),

    # Full disks.
    Case("full disk during a patch", b"0 0 src.bin out.bin P P1 AA P P2000 BB P P3 CC",
         files={"src.bin": SRC}, file_size_limit=4096, stdout=b"Can't write hack", status=1,
         expected=layout(SRC, {1: b"\xAA"})),
    Case("full disk during the copy stops and keeps the older destination whole",
         b"0 0 big.bin out.bin P P1 AA", files={"big.bin": bytes(8192), "out.bin": b"older"},
         file_size_limit=4096, stdout=b"Can't write hack", status=1, expected=b"older"),
    Case("full disk during the copy and no older destination", b"0 0 big.bin out.bin P P1 AA",
         files={"big.bin": bytes(8192)}, file_size_limit=4096, stdout=b"Can't write hack",
         status=1),
    Case("full disk during a raw insertion", b"0 0 src.bin out.bin D big.bin P0 R",
         files={"src.bin": SRC, "big.bin": bytes(range(256)) * 32}, file_size_limit=4096,
         stdout=b"Can't write hack", status=1,
         expected=bytes(range(256)) * 16),
]

# Data insertion. DataOffset is 0x20 throughout, so NextFree starts there.
D_FILES = {"src.bin": SRC, "abc.bin": ABC, "empty.bin": b"", "three.bin": b"xyz"}


def d_case(name, commands, stdout=b"", status=0, patches=None, base=SRC, files=None, **rest):
    return Case(name, b"20 8 src.bin out.bin\n" + commands, files={**D_FILES, **(files or {})},
                stdout=stdout, status=status, expected=layout(base, patches or {}), **rest)


CASES += [
    d_case("D mode Z", b"D abc.bin N Z O P0 4 N", patches={0x20: ABC_STREAM, 0: be32(0x26)}),
    d_case("D mode A", b"D abc.bin N A O P0 4 N",
           patches={0x20: b"\x00\x08" + ABC_STREAM, 0: be32(0x28)}),
    d_case("D raw", b"D abc.bin N R O P0 4 N", patches={0x20: ABC, 0: be32(0x2C)}),
    d_case("D empty file raw", b"D empty.bin P4 R O P0 1 N O P1 1 Dempty.bin",
           patches={0: b"\x20\x04"}),
    d_case("D empty file Z", b"D empty.bin P4 Z O P0 1 N O P1 1 Dempty.bin",
           patches={0: b"\x20\x04"}),
    d_case("D empty file A writes its length 2", b"D empty.bin N A O P0 1 N",
           patches={0x20: b"\x00\x02", 0: b"\x22"}),
    d_case("D mode character at the end of the script", b"D abc.bin P2", patches={2: ABC}),
    d_case("D swallows the letter after the expression as its mode", b"D three.bin N O A1 4 N",
           patches={0x20: b"xyz"}),
    d_case("D the same name twice: the first position is kept",
           b"D three.bin P30 R D three.bin N R O P0 4 Dthree.bin O P4 4 N",
           patches={0x30: b"xyz", 0x34: b"xyz", 0: be32(0x30), 4: be32(0x38)}),
    d_case("D naming itself in its expression inserts at 0",
           b"D three.bin Dthree.bin Z O P10 1 Dthree.bin", stdout=b'Data not found "three.bin"',
           status=1, patches={0: bytes.fromhex("07 78 79 7A"), 0x10: b"\x00"}),
    d_case("D beyond the end: the gap reads as zeros", b"D three.bin P40 R", patches={0x40: b"xyz"}),
    d_case("D missing data file stops with its name", b"P P0 AA D nope.bin N Z P P1 BB",
           stdout=b'Can\'t open "nope.bin"', status=1, patches={0: b"\xAA"}),
    d_case("D data file that is the destination", b"D out.bin N R P P1 BB",
           stdout=b'Can\'t open "out.bin"', status=1),
    d_case("D data file that is a folder", b"D sub N R", folders=["sub"],
           stdout=b'Can\'t open "sub"', status=1),
    d_case("D odd end rounds NextFree up", b"D three.bin N R O P0 1 N", patches={0x20: b"xyz", 0: b"\x24"}),
    d_case("D even end sets NextFree to it", b"D abc.bin N R O P0 1 N", patches={0x20: ABC, 0: b"\x2C"}),
    d_case("D ending below NextFree leaves it", b"D three.bin P2 R O P0 1 N", patches={2: b"xyz", 0: b"\x20"}),
    Case("D odd DataOffset stays until data passes it", b"21 8 src.bin out.bin O P0 1 N D three.bin P1F R O P1 1 N D three.bin N R O P2 1 N",
         files=D_FILES, expected=layout(SRC, {0: b"\x21", 0x1F: b"xyz", 1: b"\x22", 0x22: b"xyz", 2: b"\x26"})),
    d_case("D position out of range", b"D three.bin P-2 Z P P1 BB", stdout=b"Offset out of range", status=1),
    d_case("D end past the last position", b"D three.bin P7FFFFFFE R P P1 BB",
           stdout=b'Data too long "three.bin"', status=1),
    d_case("D mode A stream too long for its header writes nothing", b"P P0 AA D big.bin P4 A P P1 BB",
           files={"big.bin": INCOMPRESSIBLE}, stdout=b'Data too long "big.bin"', status=1,
           patches={0: b"\xAA"}),
    d_case("D a data file that cannot be read", b"D /proc/self/mem N R", status=1,
           stdout=b'Can\'t read "/proc/self/mem"'),
    d_case("D full disk during mode Z", b"D big.bin P0 Z", files={"big.bin": INCOMPRESSIBLE},
           file_size_limit=4096, stdout=b"Can't write hack", status=1,
           base=literal_groups(INCOMPRESSIBLE, 4096)),
]

CASES.append(Case("the complete example script", EXAMPLE_SCRIPT,
                  files={"base.dat": EXAMPLE_BASE, "title.bin": ABC}, destination="out.dat",
                  expected=layout(EXAMPLE_BASE, {0x20000: ABC_STREAM, 0x430: be32(0x20000),
                                                 0x200: b"\x00\x01\xFF"})))


# Hostile and large scripts: each must run in time linear in its size.
def spelled_names(count, name):
    """count distinct spellings of one path, as ./ and .// segments."""
    names = []
    for k in range(count):
        names.append("".join("./" if k >> bit & 1 else ".//" for bit in range(16)) + name)
    return names


MANY_NAMES = spelled_names(50000, "three.bin")
MANY_PATCHES = 100000
LONG_HEX = b"AB" * (2 << 20)
LONG_NAME = b"n" * (3 << 20)
LAST = 0x7FFFFFFF

CASES += [
    Case("a script of 10 MB", b"0 0 src.bin out.bin\n" + b"#skipped " * ((10 << 20) // 9) + b"P P1 AA",
         files={"src.bin": SRC}, expected=layout(SRC, {1: b"\xAA"})),
    Case("a hex token of 4 MB", b"0 0 src.bin out.bin P P2 " + LONG_HEX, files={"src.bin": SRC},
         expected=layout(SRC, {2: b"\xAB" * (2 << 20)})),
    Case("a data name of 3 MB", b"0 0 src.bin out.bin O P0 1 D" + LONG_NAME, files={"src.bin": SRC},
         stdout=b'Data not found "' + LONG_NAME + b'"', status=1, expected=layout(SRC, {0: b"\x00"})),
    Case("100,000 commands", b"0 0 src.bin out.bin\n" + b"".join(
        b"P P%X %02X\n" % (i, i & 0xFF) for i in range(MANY_PATCHES)), files={"src.bin": SRC},
         expected=bytes(i & 0xFF for i in range(MANY_PATCHES))),
    Case("50,000 distinct data names", b"10 0 src.bin out.bin\n" + "".join(
        f"D {name} N R\n" for name in MANY_NAMES).encode() + f"O P0 4 D{MANY_NAMES[-1]}\n".encode(),
         files={"src.bin": SRC, "three.bin": b"xyz"},
         expected=layout(SRC, {**{0x10 + 4 * i: b"xyz" for i in range(len(MANY_NAMES))},
                               0: be32(0x10 + 4 * (len(MANY_NAMES) - 1))})),
    Case("a number patch of 2^31 - 1 bytes is refused", b"0 0 src.bin out.bin O P0 2147483647 P1",
         files={"src.bin": SRC}, stdout=b"Length of offset patching out of range", status=1, expected=SRC),
    Case("patches at the last positions", b"0 0 src.bin out.bin P P7FFFFFFE 1234 O P7FFFFFFB 2 P5678",
         files={"src.bin": SRC}, sparse=(LAST + 1, {0: SRC, LAST - 4: b"\x56\x78\x00\x12\x34"})),
    Case("patches ending past the last position write nothing of themselves",
         b"0 0 src.bin out.bin P P1 AA O P7FFFFFFD 4 P12345678 P P3 BB",
         files={"src.bin": SRC}, stdout=b"Offset out of range", status=1,
         expected=layout(SRC, {1: b"\xAA"})),
    Case("a hex patch ending past the last position writes nothing of itself",
         b"0 0 src.bin out.bin P P7FFFFFFF \"12 34\" P P3 BB",
         files={"src.bin": SRC}, stdout=b"Offset out of range", status=1, expected=SRC),
    Case("data ending at the last position leaves NextFree there",
         b"0 0 src.bin out.bin D three.bin P7FFFFFFC R O P0 4 N D three.bin N R",
         files={"src.bin": SRC, "three.bin": b"xyz"}, stdout=b'Data too long "three.bin"', status=1,
         sparse=(LAST, {0: be32(LAST), LAST - 3: b"xyz"})),

    # What the program refuses to touch, and how it is started (POSIX).
    *[Case(f"a FIFO as {role} is refused without waiting", script, files=files, fifos=["pipe.bin"],
           stdout=stdout, status=1 if stdout else 0, expected=expected, kept_special=["pipe.bin"], timeout=20,
           destination=destination, skip_on=POSIX_ONLY)
      for role, script, files, stdout, expected, destination in [
          ("data", b"0 0 src.bin out.bin P P1 AA D pipe.bin P2 R P P3 BB", {"src.bin": SRC},
           b'Can\'t open "pipe.bin"', layout(SRC, {1: b"\xAA"}), "out.bin"),
          ("the source", b"0 0 pipe.bin out.bin P P1 AA", {"out.bin": b"older"}, b"", b"o\xAAder", "out.bin"),
          ("the destination", b"0 0 src.bin pipe.bin P P1 AA", {"src.bin": SRC}, b"Can't open hack", None,
           "pipe.bin"),
      ]],
    Case("a FIFO source and no older destination", b"0 0 pipe.bin out.bin P P1 AA", fifos=["pipe.bin"],
         stdout=b"Can't open hack", status=1, timeout=20, skip_on=POSIX_ONLY),
    Case("a device as the destination is never replaced", b"0 0 src.bin out.bin P P1 AA",
         files={"src.bin": SRC}, devices={"out.bin": (1, 3)}, stdout=b"Can't open hack", status=1,
         kept_special=["out.bin"], skip_on=POSIX_ONLY),
    Case("a symbolic link as the destination is followed and kept", b"0 0 src.bin out.bin P P1 AA",
         files={"src.bin": SRC, "real/target.bin": b"older"}, symlinks={"out.bin": "real/target.bin"},
         expected=layout(SRC, {1: b"\xAA"}), kept_special=["out.bin"], skip_on=POSIX_ONLY),
    Case("a dangling symbolic link as the destination makes its target", b"0 0 src.bin out.bin P P1 AA",
         files={"src.bin": SRC}, symlinks={"out.bin": "made.bin"}, expected=layout(SRC, {1: b"\xAA"}),
         kept_special=["out.bin"], skip_on=POSIX_ONLY),
    Case("a destination name of 250 bytes is copied", b"0 0 src.bin " + b"d" * 246 + b".bin P P1 AA",
         files={"src.bin": SRC, "d" * 246 + ".bin": b"older"}, destination="d" * 246 + ".bin",
         expected=layout(SRC, {1: b"\xAA"}), skip_on=POSIX_ONLY),
    Case("a read-only destination is not replaced", b"0 0 src.bin out.bin P P1 AA",
         files={"src.bin": SRC, "out.bin": b"older"}, modes={"out.bin": 0o444}, unprivileged=True,
         stdout=b"Can't open hack", status=1, expected=b"older", skip_on=POSIX_ONLY),
    Case("an unwritable folder gets the copy in the writable destination", b"0 0 src.bin out.bin P P1 AA",
         files={"src.bin": SRC, "out.bin": b"older destination, longer than the source"},
         modes={"out.bin": 0o666}, folder_writable=False, unprivileged=True,
         expected=layout(SRC, {1: b"\xAA"}), skip_on=POSIX_ONLY),
    Case("an unwritable folder and no destination", b"0 0 src.bin out.bin P P1 AA",
         files={"src.bin": SRC}, folder_writable=False, unprivileged=True,
         stdout=b"Can't open hack", status=1, skip_on=POSIX_ONLY),
    Case("a new destination takes the source's permissions less the umask, without setuid",
         b"0 0 src.bin out.bin P P1 AA", files={"src.bin": SRC}, modes={"src.bin": 0o4775}, umask=0o022,
         expected=layout(SRC, {1: b"\xAA"}), destination_mode=0o755, skip_on=POSIX_ONLY),
    Case("a replaced destination keeps its permissions", b"0 0 src.bin out.bin P P1 AA",
         files={"src.bin": SRC, "out.bin": b"older"}, modes={"src.bin": 0o755, "out.bin": 0o640},
         expected=layout(SRC, {1: b"\xAA"}), destination_mode=0o640, skip_on=POSIX_ONLY),
    Case("a sparse source keeps its holes", b"0 0 sparse.bin out.bin P P1 AA",
         files={"sparse.bin": b"head"}, sparse_sources={"sparse.bin": 64 << 20},
         sparse=((64 << 20) + 4, {0: b"h\xAAad", 64 << 20: b"tail"}), max_allocated=1 << 20,
         skip_on=POSIX_ONLY),
    Case("sparse raw data past the destination's end keeps its holes", b"0 0 src.bin out.bin D sparse.bin P10 R",
         files={"src.bin": SRC, "sparse.bin": b"head"}, sparse_sources={"sparse.bin": 64 << 20},
         sparse=(0x10 + (64 << 20) + 4, {0: SRC, 0x10: b"head", 0x10 + (64 << 20): b"tail"}),
         max_allocated=1 << 20, skip_on=POSIX_ONLY),
    Case("sparse raw data over older bytes writes its zeros", b"0 0 src.bin out.bin D sparse.bin P0 R",
         files={"src.bin": b"\xEE" * 0x5000, "sparse.bin": b"head"}, sparse_sources={"sparse.bin": 0x3000},
         expected=layout(b"\xEE" * 0x5000, {0: b"head" + bytes(0x3000 - 4) + b"tail"}), skip_on=POSIX_ONLY),
    Case("standard input and output closed: no message lands in the destination",
         b"0 0 src.bin out.bin P P1 AA O P2 1 A x P P3 BB", files={"src.bin": SRC}, closed_fds=[0, 1],
         status=1, expected=layout(SRC, {1: b"\xAA", 2: b"\x00", 3: b"\xBB"}), skip_on=POSIX_ONLY),
    Case("standard input and error closed", b"0 0 src.bin out.bin P P1 AA O P2 1 A x P P3 BB",
         files={"src.bin": SRC}, closed_fds=[0, 2], stdout=b"Archive id expected", status=1,
         expected=layout(SRC, {1: b"\xAA", 2: b"\x00", 3: b"\xBB"}), skip_on=POSIX_ONLY),
    Case("a reader gone from standard output loses the messages, not the build",
         b"0 0 src.bin out.bin P P1 AA O P2 1 A x P P3 BB", files={"src.bin": SRC}, reader_gone=True,
         status=1, expected=layout(SRC, {1: b"\xAA", 2: b"\x00", 3: b"\xBB"}), skip_on=POSIX_ONLY),
    *[Case(f"{signal.Signals(number).name} during the copy leaves nothing and the older destination whole",
           b"0 0 big.bin out.bin P P1 AA", files={"out.bin": b"older"}, big_sources={"big.bin": 256},
           signal_during_copy=number, status=-number, expected=b"older", skip_on=POSIX_ONLY)
      for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGKILL)],
    # The same hazard on Windows: its devices have names in every folder.
    Case("the device NUL as the destination is refused", b"0 0 src.bin NUL P P1 AA", files={"src.bin": SRC},
         destination="NUL", stdout=b"Can't open hack", status=1, skip_on=WINDOWS_ONLY),
    Case("the console CON as data is refused without waiting", b"0 0 src.bin out.bin P P1 AA D CON P2 R",
         files={"src.bin": SRC}, stdout=b'Can\'t open "CON"', status=1, expected=layout(SRC, {1: b"\xAA"}),
         timeout=60, skip_on=WINDOWS_ONLY),
]
