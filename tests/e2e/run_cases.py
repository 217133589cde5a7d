#!/usr/bin/env python3
"""Runs the end-to-end table against a real hackcomp program.

Each case is run in a fresh temporary folder holding its conf.txt and files,
with the case's arguments. The program's standard output, exit status,
destination bytes and, where the case gives them, standard error and the
files it makes must match, and no other file may change.

    run_cases.py --program build/default/bin/hackcomp
    run_cases.py --program hackcomp.exe --launcher /usr/lib/wine/wine64
    run_cases.py --program build/default/bin/hackcompbox --table options
"""
import argparse
import os
import re
import resource
import shlex
import signal
import subprocess
import sys
import tempfile
import time

from cases import CASES
from option_cases import OPTION_CASES

TABLES = {"all": CASES + OPTION_CASES, "options": OPTION_CASES}

# The summary line ends with the build's time, which varies.
ELAPSED = re.compile(rb", [0-9]+\.[0-9]{3} s\n")


def program_name(program):
    name = os.path.basename(program)
    return name[:-4] if name.lower().endswith(".exe") else name


def project_version():
    top = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
    with open(os.path.join(top, "CMakeLists.txt")) as f:
        return re.search(r"project\(hackcomp VERSION ([0-9.]+)", f.read()).group(1)


def expected_text(text, program):
    if text is None:
        return None
    return text.replace(b"PROGRAM", program_name(program).encode()).replace(
        b"VERSION", project_version().encode())


def first_difference(actual, expected):
    for offset, (a, b) in enumerate(zip(actual, expected)):
        if a != b:
            return offset
    return min(len(actual), len(expected))


def describe_bytes_mismatch(what, actual, expected):
    offset = first_difference(actual, expected)
    return (f"{what}: first difference at offset {offset:#x} "
            f"(got {actual[offset:offset + 8].hex(' ') or 'end'}, "
            f"want {expected[offset:offset + 8].hex(' ') or 'end'}; "
            f"sizes {len(actual)} and {len(expected)})")


def describe_text_mismatch(what, actual, expected):
    """The first line that differs, for texts such as located messages."""
    got, want = actual.split(b"\n"), expected.split(b"\n")
    for number, (a, b) in enumerate(zip(got, want), 1):
        if a != b:
            return f"{what}: line {number} is {a!r}, want {b!r}"
    return f"{what}: {len(got)} lines, want {len(want)}; got {actual[-300:]!r}"


def write_files(folder, case):
    for name, data in case.files.items():
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    for name, target in case.links.items():
        os.link(os.path.join(folder, target), os.path.join(folder, name))
    for name in case.folders:
        os.makedirs(os.path.join(folder, name), exist_ok=True)


def snapshot(folder, destination, created=()):
    """Every file under the folder but the destination and the files the run
    is to make, with its bytes."""
    files = {}
    for root, _dirs, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            rel = os.path.relpath(path, folder)
            if is_destination(folder, rel, destination) or rel in created:
                continue
            with open(path, "rb") as f:
                files[rel] = f.read()
    return files


def check_destination(case, path):
    """What is wrong with the destination, or None."""
    exists = os.path.isfile(path)
    if case.expected is None and case.sparse is None:
        return f"{case.destination} exists, want none" if exists else None
    if not exists:
        return f"{case.destination} is missing"
    if case.sparse is not None:
        size, chunks = case.sparse
        if os.path.getsize(path) != size:
            return f"{case.destination} has {os.path.getsize(path)} bytes, want {size}"
        with open(path, "rb") as f:
            for offset, chunk in chunks.items():
                f.seek(offset)
                got = f.read(len(chunk))
                if got != chunk:
                    return f"{case.destination} at {offset:#x}: got {got.hex(' ')}, want {chunk.hex(' ')}"
        return None
    with open(path, "rb") as f:
        actual = f.read()
    if actual != case.expected:
        return describe_bytes_mismatch(case.destination, actual, case.expected)
    return None


def is_destination(folder, name, destination):
    """The destination itself, or another name of the same file (a hard link)."""
    if name == destination:
        return True
    try:
        return os.path.samefile(os.path.join(folder, name), os.path.join(folder, destination))
    except OSError:
        return False


def limit_file_size(limit):
    def apply():
        # A full disk, as the kernel shows it: writes past the limit fail.
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return apply


def check_case(case, program, launcher, timing=False):
    problems = []
    with tempfile.TemporaryDirectory(prefix="hackcomp-e2e-") as folder:
        write_files(folder, case)
        before = snapshot(folder, case.destination, case.creates)
        command = launcher + [program] + case.args
        if timing:
            rss_file = os.path.join(folder, "..", os.path.basename(folder) + ".rss")
            command = ["/usr/bin/time", "-f", "%M", "-o", rss_file] + command
        started = time.monotonic()
        run = subprocess.run(command, cwd=folder, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300,
                             preexec_fn=limit_file_size(case.file_size_limit)
                             if case.file_size_limit else None)
        elapsed = time.monotonic() - started
        if timing:
            with open(rss_file) as f:
                peak = f.read().strip().splitlines()[-1]
            os.remove(rss_file)
            print(f"     {case.name}: {elapsed:.2f} s, peak {peak} KB")
        want_stdout = expected_text(case.stdout, program)
        if case.stdout_start is not None:
            want_stdout = expected_text(case.stdout_start, program)
            if run.stdout.startswith(want_stdout):
                want_stdout = run.stdout
        if run.stdout != want_stdout:
            shown = run.stdout if len(run.stdout) < 300 else run.stdout[:300] + b"..."
            problems.append(f"standard output {shown!r}, want {want_stdout[:300]!r}")
        want_stderr = expected_text(case.stderr, program)
        stderr = ELAPSED.sub(b", T s\n", run.stderr)
        if want_stderr is not None and stderr != want_stderr:
            problems.append(describe_text_mismatch("standard error", stderr, want_stderr))
        for name, data in case.creates.items():
            path = os.path.join(folder, name)
            if not os.path.isfile(path):
                problems.append(f"{name} was not made")
                continue
            with open(path, "rb") as f:
                made = f.read()
            if made != data:
                problems.append(describe_text_mismatch(name, made, data))
        if run.returncode != case.status:
            problems.append(f"exit status {run.returncode}, want {case.status}")
        after = snapshot(folder, case.destination, case.creates)
        problem = check_destination(case, os.path.join(folder, case.destination))
        if problem:
            problems.append(problem)
        for name in sorted(set(before) | set(after)):
            if before.get(name) != after.get(name):
                state = "appeared" if name not in before else \
                    "disappeared" if name not in after else "changed"
                problems.append(f"{name} {state}; only the destination may change")
        if problems and run.stderr:
            problems.append(f"standard error: {run.stderr[:500]!r}")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True, help="the hackcomp program to run")
    parser.add_argument("--launcher", default="", help="command that runs the program, e.g. wine")
    parser.add_argument("--platform", default="posix", choices=["posix", "windows"],
                        help="skips the cases that cannot run on the other platform")
    parser.add_argument("--timing", action="store_true",
                        help="print each case's wall time and peak memory (POSIX)")
    parser.add_argument("--only", default="", help="run only cases whose name holds this text")
    parser.add_argument("--table", default="all", choices=sorted(TABLES),
                        help="all cases, or only those with options")
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    launcher = shlex.split(args.launcher)

    passed = failed = skipped = 0
    for case in TABLES[args.table]:
        if args.only and args.only not in case.name:
            continue
        if program_name(program) not in case.programs:
            continue
        if args.platform in case.skip_on:
            print(f"SKIP {case.name}: {case.skip_on[args.platform]}")
            skipped += 1
            continue
        problems = check_case(case, program, launcher, args.timing)
        if problems:
            failed += 1
            print(f"FAIL {case.name}")
            for problem in problems:
                print(f"     {problem}")
        else:
            passed += 1
            print(f"ok   {case.name}")
    print(f"{passed} passed, {failed} failed, {skipped} skipped")
    return 1 if failed or not passed else 0


if __name__ == "__main__":
    sys.exit(main())
