"""The end-to-end cases of --pack and --unpack. Every case's folder also holds
a conf.txt that would build out.bin: that out.bin never appears shows that
neither command reads the script. PROGRAM in an expected text stands for the
program's name.

The data is a prefix of a de Bruijn sequence over the bytes 1 to 255: no
3 bytes repeat and no byte is 0, so nothing in it matches and its stream is
known without an encoder: groups of a flag byte and eight literal bytes.
(That --pack equals what a build places for compressible data as well is
checked by the unit tests, against the build itself.)"""
import itertools

from cases import ABC, ABC_STREAM, SRC, Case

BOTH = ("hackcomp", "hackcompbox")
BUILD = b"20 8 src.bin out.bin P P1 AA"


def de_bruijn(k, n):
    a = [0] * (k * n)

    def db(t, p):
        if t > n:
            if n % p == 0:
                yield from a[1:p + 1]
        else:
            a[t] = a[t - p]
            yield from db(t + 1, p)
            for j in range(a[t - p] + 1, k):
                a[t] = j
                yield from db(t + 1, t)
    return db(1, 1)


UNIQUE = bytes(1 + s for s in itertools.islice(de_bruijn(255, 3), 70000))


def literal_stream(data):
    """The stream of data that has nothing to match."""
    groups = []
    for start in range(0, len(data), 8):
        items = data[start:start + 8]
        groups.append(bytes([(1 << len(items)) - 1]) + items)
    return b"".join(groups)


def headed(stream):
    return (len(stream) + 2).to_bytes(2, "big") + stream


def codec_case(name, args, files, creates=None, status=0, stderr=b"", programs=("hackcomp",)):
    return Case(name, BUILD, files={"src.bin": SRC, **files}, args=args, creates=creates or {},
                status=status, stderr=stderr, programs=programs)


def error(name, args, files, text):
    """Bad input: one line on standard error, status 1, no output made."""
    return codec_case(name, args, files, status=1, stderr=b"PROGRAM: " + text + b"\n")


def mistake(name, args, text):
    return codec_case(name, args, {"in.bin": ABC}, status=2,
                      stderr=b"PROGRAM: " + text + b'; see "PROGRAM --help"\n')


SIZES = (0, 1, 17, 18, 4113, 70000)

PACK_CASES = [
    *[codec_case(f"--pack {size} bytes mode Z", ["--pack", "in.bin", "packed.bin"],
                 {"in.bin": UNIQUE[:size]}, {"packed.bin": literal_stream(UNIQUE[:size])})
      for size in SIZES],
    *[codec_case(f"--pack {size} bytes mode A", ["--pack", "in.bin", "packed.bin", "--mode", "A"],
                 {"in.bin": UNIQUE[:size]}, {"packed.bin": headed(literal_stream(UNIQUE[:size]))})
      for size in SIZES if size < 70000],
    error("--pack mode A refuses a stream too long for its header",
          ["--pack", "in.bin", "packed.bin", "--mode", "A"], {"in.bin": UNIQUE[:70000]},
          b'Data too long "in.bin"'),
    codec_case("--pack with matches, either program", ["--mode", "Z", "--pack", "abc.bin", "abc.lz"],
               {"abc.bin": ABC}, {"abc.lz": ABC_STREAM}, programs=BOTH),
    codec_case("--pack replaces an older output", ["--pack", "abc.bin", "abc.lz", "--mode", "A"],
               {"abc.bin": ABC, "abc.lz": b"older"}, {"abc.lz": b"\x00\x08" + ABC_STREAM}),
    error("--pack of a missing file", ["--pack", "nope.bin", "packed.bin"], {}, b'Can\'t open "nope.bin"'),
    error("--pack onto its input", ["--pack", "abc.bin", "./abc.bin"], {"abc.bin": ABC},
          b'Output is the input file "./abc.bin"'),
]

UNPACK_CASES = [
    *[codec_case(f"--unpack {size} bytes mode {mode}", ["--unpack", "in.lz", "out.dat", "--mode", mode],
                 {"in.lz": pack(literal_stream(UNIQUE[:size]))}, {"out.dat": UNIQUE[:size]})
      for size in SIZES for mode, pack in (("Z", bytes), ("A", headed))
      if mode == "Z" or size < 70000],
    codec_case("--unpack with matches, either program", ["--unpack", "abc.lz", "abc.bin"],
               {"abc.lz": ABC_STREAM}, {"abc.bin": ABC}, programs=BOTH),
]

# An archive: junk, a stream in mode Z with junk behind it, a stream in mode A,
# a trailer, and a stream in mode Z that runs to the end of the file.
FIRST, SECOND, THIRD = UNIQUE[:5000], UNIQUE[5000:5300], UNIQUE[6000:6021]
ARCHIVE_PARTS = [b"\x5a" * 0x123, literal_stream(FIRST), b"\xc3" * 77, headed(literal_stream(SECOND)),
                 b"trailer", literal_stream(THIRD)]
FIRST_AT = len(ARCHIVE_PARTS[0])
FIRST_LENGTH = len(ARCHIVE_PARTS[1])
SECOND_AT = sum(map(len, ARCHIVE_PARTS[:3]))
THIRD_AT = sum(map(len, ARCHIVE_PARTS[:5]))
ARCHIVE = {"archive.bin": b"".join(ARCHIVE_PARTS)}


def from_archive(name, args, expected):
    return codec_case(name, ["--unpack", "archive.bin", "part.bin"] + args, ARCHIVE, {"part.bin": expected})


ARCHIVE_CASES = [
    from_archive("--unpack at an offset, ending after --length",
                 ["--at", str(FIRST_AT), "--length", str(FIRST_LENGTH)], FIRST),
    from_archive("--unpack at a hex offset, ending once --size bytes are decoded",
                 ["--at", hex(FIRST_AT), "--size", hex(len(FIRST))], FIRST),
    from_archive("--unpack ending at --size inside the stream", ["--at", str(FIRST_AT), "--size", "1000"],
                 FIRST[:1000]),
    from_archive("--unpack ending at the end of the file", ["--at", str(THIRD_AT)], THIRD),
    from_archive("--unpack mode A at an offset", ["--at", str(SECOND_AT), "--mode", "A"], SECOND),
    from_archive("--unpack mode A with --size", ["--mode", "A", "--size", "7", "--at", str(SECOND_AT)],
                 SECOND[:7]),
]

ARCHIVE_BYTES = ARCHIVE["archive.bin"]
BAD_INPUT_CASES = [
    error("--unpack of a missing file", ["--unpack", "nope.bin", "out.dat"], {}, b'Can\'t open "nope.bin"'),
    error("--unpack at an offset past the end", ["--unpack", "archive.bin", "out.dat", "--at",
                                                 str(len(ARCHIVE_BYTES) + 1)],
          ARCHIVE, b'Offset past the end of "archive.bin"'),
    error("--unpack mode A with a length below 2", ["--unpack", "archive.bin", "out.dat", "--mode", "A"],
          {"archive.bin": b"\x00\x01" + ABC_STREAM}, b'Stream length below 2 in "archive.bin"'),
    error("--unpack mode A with a length past the end", ["--unpack", "archive.bin", "out.dat", "--mode", "A"],
          {"archive.bin": b"\x00\x09" + ABC_STREAM}, b'Stream past the end of "archive.bin"'),
    error("--unpack mode A with its header cut", ["--unpack", "archive.bin", "out.dat", "--mode", "A",
                                                  "--at", str(len(ARCHIVE_BYTES) - 1)],
          ARCHIVE, b'Length header past the end of "archive.bin"'),
    error("--unpack with --length past the end", ["--unpack", "archive.bin", "out.dat", "--at", str(THIRD_AT),
                                                  "--length", str(len(ARCHIVE_BYTES) - THIRD_AT + 1)],
          ARCHIVE, b'Stream past the end of "archive.bin"'),
    error("--unpack of a stream ending inside an item", ["--unpack", "archive.bin", "out.dat"],
          {"archive.bin": ABC_STREAM[:5]}, b'Stream ends inside an item in "archive.bin"'),
    error("--unpack with an unreachable --size", ["--unpack", "archive.bin", "out.dat", "--size", "13"],
          {"archive.bin": ABC_STREAM}, b'Stream ends before --size bytes in "archive.bin"'),
    error("--unpack onto its input", ["--unpack", "archive.bin", "archive.bin"], ARCHIVE,
          b'Output is the input file "archive.bin"'),
    Case("--unpack failing leaves an older output as it was", BUILD,
         files={"src.bin": SRC, "archive.bin": ABC_STREAM[:5], "out.dat": b"older"},
         args=["--unpack", "archive.bin", "out.dat"], status=1,
         stderr=b'PROGRAM: Stream ends inside an item in "archive.bin"\n'),
]

MISTAKE_CASES = [
    mistake("--pack without its output", ["--pack", "in.bin"], b'option "--pack" needs IN OUT'),
    mistake("--unpack without its files", ["--unpack"], b'option "--unpack" needs IN OUT'),
    mistake("--mode other than Z or A", ["--pack", "in.bin", "out.bin", "--mode", "R"],
            b'option "--mode" takes Z or A, not "R"'),
    mistake("--at that is not a number", ["--unpack", "in.bin", "out.bin", "--at", "12x"],
            b'option "--at" takes a decimal or 0x-hexadecimal number, not "12x"'),
    mistake("--size that is negative", ["--unpack", "in.bin", "out.bin", "--size", "-1"],
            b'option "--size" takes a decimal or 0x-hexadecimal number, not "-1"'),
    mistake("--length in mode A", ["--unpack", "in.bin", "out.bin", "--mode", "A", "--length", "4"],
            b'option "--length" needs mode Z: in mode A the stream\'s length is read from IN'),
    mistake("--at without --unpack", ["--pack", "in.bin", "out.bin", "--at", "4"],
            b'option "--at" needs --unpack'),
    mistake("--pack with a build option", ["--pack", "in.bin", "out.bin", "--check"],
            b'option "--check" does not go with --pack or --unpack'),
]

CODEC_CASES = PACK_CASES + UNPACK_CASES + ARCHIVE_CASES + BAD_INPUT_CASES + MISTAKE_CASES
