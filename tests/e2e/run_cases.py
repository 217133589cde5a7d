#!/usr/bin/env python3
"""Runs the end-to-end table against a real hackcomp program.

Each case is run in a fresh temporary folder holding its conf.txt and files,
with the case's arguments. The program's standard output, exit status,
destination bytes and, where the case gives them, standard error and the
files it makes must match, and no other file may change.

A case with a file size limit runs against a full disk. By default that is
the limit itself (RLIMIT_FSIZE on the run: writes past it fail). Under Wine the
limit is inherited by the wineserver that the run starts, which crashes on it;
there --full-disk tmpfs (as root) runs each such case in a small tmpfs of its
own that holds the case's files and only file_size_limit bytes more.

    run_cases.py --program build/default/bin/hackcomp
    run_cases.py --program hackcomp.exe --launcher "$(command -v wine64)" \
        --platform windows --full-disk tmpfs
    run_cases.py --program build/default/bin/hackcompbox --table options
"""
import argparse
import contextlib
import os
import re
import resource
import shlex
import pwd
import signal
import stat
import subprocess
import sys
import tempfile
import time

from cases import CASES
from option_cases import OPTION_CASES
from codec_cases import CODEC_CASES

TABLES = {"all": CASES + OPTION_CASES + CODEC_CASES, "options": OPTION_CASES, "codec": CODEC_CASES}

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
    for name, hole_end in case.sparse_sources.items():
        with open(os.path.join(folder, name), "r+b") as f:
            f.seek(hole_end)
            f.write(b"tail")
    for name, megabytes in case.big_sources.items():
        block = bytes(range(256)) * 4096
        with open(os.path.join(folder, name), "wb") as f:
            for _ in range(megabytes):
                f.write(block)
    for name in case.fifos:
        os.mkfifo(os.path.join(folder, name))
    for name, (major, minor) in case.devices.items():
        os.mknod(os.path.join(folder, name), 0o666 | stat.S_IFCHR, os.makedev(major, minor))
    for name, target in case.symlinks.items():
        os.symlink(target, os.path.join(folder, name))
    for name, mode in case.modes.items():
        os.chmod(os.path.join(folder, name), mode)


def unprivileged_ids():
    """The user and group to run an unprivileged case as: ourselves, or nobody under root."""
    if os.geteuid() != 0:
        return None
    entry = pwd.getpwnam("nobody")
    return entry.pw_uid, entry.pw_gid


def prepare_folder(case, folder):
    ids = unprivileged_ids() if case.unprivileged else None
    if ids and case.folder_writable:
        os.chown(folder, *ids)  # the unprivileged user's own folder
    os.chmod(folder, 0o755 if case.folder_writable else 0o555)


def skip_reason(case):
    """Why a POSIX hazard case cannot run here, or None."""
    if case.devices and os.geteuid() != 0:
        return "making a device node needs root"
    if case.unprivileged and os.geteuid() == 0:
        try:
            pwd.getpwnam("nobody")
        except KeyError:
            return "no user nobody to run without root's rights"
    return None


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
            info = os.lstat(path)
            if not stat.S_ISREG(info.st_mode):
                files[rel] = ("special", stat.S_IFMT(info.st_mode), os.readlink(path)
                              if stat.S_ISLNK(info.st_mode) else None)
                if not stat.S_ISLNK(info.st_mode) or not os.path.isfile(path):
                    continue
            with open(path, "rb") as f:
                files[rel] = (files.get(rel), f.read())
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


def child_setup(case, file_size_limit):
    ids = unprivileged_ids() if case.unprivileged else None

    def apply():
        # Signals as a shell leaves them: the program must keep SIGXFSZ and
        # SIGPIPE from killing it by itself.
        signal.signal(signal.SIGXFSZ, signal.SIG_DFL)
        signal.signal(signal.SIGPIPE, signal.SIG_DFL)
        if file_size_limit:
            # A full disk, as the kernel shows it: writes past the limit fail.
            resource.setrlimit(resource.RLIMIT_FSIZE, (file_size_limit, file_size_limit))
        if case.umask is not None:
            os.umask(case.umask)
        if ids:
            os.setgroups([])
            os.setgid(ids[1])
            os.setuid(ids[0])
        for fd in case.closed_fds:
            os.close(fd)
    return apply


def holds_copy(pid, folder):
    """Whether the process has a file of the folder open for writing besides the source."""
    try:
        for fd in os.listdir(f"/proc/{pid}/fd"):
            target = os.readlink(f"/proc/{pid}/fd/{fd}")
            if target.startswith(folder + "/") and not target.endswith(("/big.bin", "/conf.txt")):
                return True
    except OSError:
        pass
    return False


def run_and_signal(case, command, folder, problems, file_size_limit):
    """Runs the program and sends the signal while it makes its copy."""
    child = subprocess.Popen(command, cwd=folder, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, preexec_fn=child_setup(case, file_size_limit))
    deadline = time.monotonic() + case.timeout
    while child.poll() is None and time.monotonic() < deadline:
        if holds_copy(child.pid, folder):
            child.send_signal(case.signal_during_copy)
            break
        time.sleep(0.0005)
    else:
        problems.append("the copy ended before the signal could be sent")
    out, err = child.communicate(timeout=case.timeout)
    return subprocess.CompletedProcess(command, child.returncode, out, err)


def check_kept(case, folder):
    problems = []
    for name in case.kept_special:
        path = os.path.join(folder, name)
        kind = "a symbolic link" if name in case.symlinks else "a FIFO" if name in case.fifos else "a device"
        if not os.path.lexists(path):
            problems.append(f"{name} is gone, want it kept as {kind}")
            continue
        mode = os.lstat(path).st_mode
        if name in case.symlinks:
            kept = stat.S_ISLNK(mode) and os.readlink(path) == case.symlinks[name]
        elif name in case.fifos:
            kept = stat.S_ISFIFO(mode)
        else:
            kept = stat.S_ISCHR(mode)
        if not kept:
            problems.append(f"{name} is no longer {kind}")
    return problems


def check_disk(case, path):
    problems = []
    if case.destination_mode is not None and os.path.exists(path):
        mode = stat.S_IMODE(os.stat(path).st_mode)
        if mode != case.destination_mode:
            problems.append(f"{case.destination} has mode {mode:o}, want {case.destination_mode:o}")
    if case.max_allocated is not None and os.path.exists(path):
        allocated = os.stat(path).st_blocks * 512
        if allocated > case.max_allocated:
            problems.append(f"{case.destination} takes {allocated} bytes on disk, want at most {case.max_allocated}")
    return problems


def tmpfs_size(case):
    """Room for the case's files, whole pages each as a tmpfs counts them, and
    file_size_limit bytes more."""
    page = os.sysconf("SC_PAGE_SIZE")
    pages = sum(-(-len(data) // page) for data in case.files.values())
    return pages * page + -(-case.file_size_limit // page) * page


@contextlib.contextmanager
def case_folder(case, full_disk):
    """A fresh temporary folder; for a full disk made as a tmpfs, a tmpfs of
    the case's own mounted on it."""
    with tempfile.TemporaryDirectory(prefix="hackcomp-e2e-") as folder:
        if not (case.file_size_limit and full_disk == "tmpfs"):
            yield folder
            return
        subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={tmpfs_size(case)},mode=0700",
                        "hackcomp-e2e", folder], check=True)
        try:
            yield folder
        finally:
            # A wineserver still lingering may hold it: then detach it lazily.
            if subprocess.run(["umount", folder], stderr=subprocess.DEVNULL).returncode != 0:
                subprocess.run(["umount", "--lazy", folder], check=True)


def check_case(case, program, launcher, timing=False, full_disk="file-size-limit"):
    problems = []
    limit = case.file_size_limit if full_disk == "file-size-limit" else 0
    with case_folder(case, full_disk) as folder:
        write_files(folder, case)
        prepare_folder(case, folder)
        before = snapshot(folder, case.destination, case.creates)
        command = launcher + [program] + case.args
        if timing:
            rss_file = os.path.join(folder, "..", os.path.basename(folder) + ".rss")
            command = ["/usr/bin/time", "-f", "%M", "-o", rss_file] + command
        started = time.monotonic()
        stdout = subprocess.PIPE
        if case.reader_gone:
            reader, stdout = os.pipe()
            os.close(reader)
        try:
            if case.signal_during_copy:
                run = run_and_signal(case, command, folder, problems, limit)
            else:
                run = subprocess.run(command, cwd=folder, stdin=subprocess.DEVNULL, stdout=stdout,
                                     stderr=subprocess.PIPE, timeout=case.timeout,
                                     preexec_fn=child_setup(case, limit))
        except subprocess.TimeoutExpired:
            os.chmod(folder, 0o755)
            return [f"still running after {case.timeout} s"]
        finally:
            if case.reader_gone:
                os.close(stdout)
        if run.stdout is None:
            run.stdout = b""
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
        stderr = ELAPSED.sub(b", T s\n", run.stderr or b"")
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
        problems += check_kept(case, folder)
        problems += check_disk(case, os.path.join(folder, case.destination))
        os.chmod(folder, 0o755)  # so that it can be removed
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
    parser.add_argument("--full-disk", default="file-size-limit", choices=["file-size-limit", "tmpfs"],
                        help="how a full disk is made: a file size limit on the run, or a small "
                             "tmpfs for each such case (root; the only way under Wine)")
    parser.add_argument("--table", default="all", choices=sorted(TABLES),
                        help="all cases, or only those with options")
    args = parser.parse_args()
    if args.full_disk == "tmpfs" and os.geteuid() != 0:
        parser.error("--full-disk tmpfs mounts a tmpfs for each full-disk case: run it as root")
    program = os.path.abspath(args.program)
    launcher = shlex.split(args.launcher)

    passed = failed = skipped = 0
    for case in TABLES[args.table]:
        if args.only and args.only not in case.name:
            continue
        if program_name(program) not in case.programs:
            continue
        reason = case.skip_on.get(args.platform) or (skip_reason(case) if args.platform == "posix" else None)
        if reason:
            print(f"SKIP {case.name}: {reason}")
            skipped += 1
            continue
        if case.file_size_limit and args.platform == "windows" and args.full_disk != "tmpfs":
            print(f"SKIP {case.name}: the file size limit for a full disk crashes the wineserver "
                  f"(--full-disk tmpfs runs it)")
            skipped += 1
            continue
        problems = check_case(case, program, launcher, args.timing, args.full_disk)
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
