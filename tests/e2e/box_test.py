#!/usr/bin/env python3
"""hackcompbox on Linux: the box on the terminal holds the build until Enter;
without a terminal the box goes to standard error and the build goes on.

    box_test.py --program build/default/bin/hackcompbox
"""
import argparse
import fcntl
import os
import pty
import select
import subprocess
import struct
import sys
import tempfile
import termios
import time

CAPTION = b"VYX Hack Compiler Error"
# Two expression errors, then a patch that must still be made.
SCRIPT = b"0 0 src.bin out.bin O P0 1 A x O P1 1 Dnope P P2 AA"
SOURCE = bytes(4)


def prepare(folder, script):
    with open(os.path.join(folder, "conf.txt"), "wb") as f:
        f.write(script)
    with open(os.path.join(folder, "src.bin"), "wb") as f:
        f.write(SOURCE)


def destination(folder):
    with open(os.path.join(folder, "out.bin"), "rb") as f:
        return f.read()


def read_until(fd, marker, seconds=20):
    seen = b""
    deadline = time.monotonic() + seconds
    while marker not in seen:
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            raise AssertionError(f"timed out waiting for {marker!r}; saw {seen!r}")
        ready, _, _ = select.select([fd], [], [], remaining)
        if ready:
            try:
                chunk = os.read(fd, 4096)
            except OSError:
                chunk = b""
            if not chunk:
                raise AssertionError(f"terminal closed before {marker!r}; saw {seen!r}")
            seen += chunk
    return seen


def wait_or_kill(pid, seconds=20):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        done, status = os.waitpid(pid, os.WNOHANG)
        if done:
            return status
        time.sleep(0.05)
    os.kill(pid, 9)
    return os.waitpid(pid, 0)[1]


def test_without_terminal(program):
    with tempfile.TemporaryDirectory(prefix="hackcompbox-") as folder:
        prepare(folder, SCRIPT)
        # A new session has no controlling terminal.
        run = subprocess.run([program], cwd=folder, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             start_new_session=True, timeout=60)
        assert run.stdout == b"", f"standard output must stay empty: {run.stdout!r}"
        assert run.stderr.count(CAPTION) == 2, run.stderr
        assert b"Archive id expected" in run.stderr and b'Data not found "nope"' in run.stderr
        assert run.returncode == 1, run.returncode
        assert destination(folder) == b"\x00\x00\xAA\x00", destination(folder)


def test_on_terminal(program):
    with tempfile.TemporaryDirectory(prefix="hackcompbox-") as folder:
        prepare(folder, SCRIPT)
        pid, fd = pty.fork()
        if pid == 0:
            os.chdir(folder)
            os.execv(program, [program])
        try:
            first = read_until(fd, b"Press Enter")
            assert CAPTION in first and b"Archive id expected" in first, first
            # The build waits in the box: nothing after the first error is done yet.
            time.sleep(0.3)
            assert destination(folder) == b"\x00\x00\x00\x00"
            os.write(fd, b"\r")
            read_until(fd, b'Data not found "nope"')
            os.write(fd, b"\r")
        finally:
            status = wait_or_kill(pid)
            os.close(fd)
        assert os.waitstatus_to_exitcode(status) == 1, status
        assert destination(folder) == b"\x00\x00\xAA\x00", destination(folder)


def test_awkward_name_on_a_narrow_terminal(program):
    """A name with UTF-8, a line break, an escape sequence and 150 letters: the
    frame stays square in characters, fits 40 columns, and nothing raw reaches
    the terminal."""
    name = "é\x1b[2J\nx" + "y" * 150
    script = b'0 0 src.bin out.bin D "' + name.encode() + b'" N R'
    with tempfile.TemporaryDirectory(prefix="hackcompbox-") as folder:
        prepare(folder, script)
        pid, fd = pty.fork()
        if pid == 0:
            fcntl.ioctl(sys.stdout.fileno(), termios.TIOCSWINSZ, struct.pack("HHHH", 24, 40, 0, 0))
            os.chdir(folder)
            os.execv(program, [program])
        try:
            shown = read_until(fd, b"Press Enter")
            os.write(fd, b"\r")
        finally:
            status = wait_or_kill(pid)
            os.close(fd)
        assert os.waitstatus_to_exitcode(status) == 1, status
        assert b"\x1b" not in shown, f"a raw escape reached the terminal: {shown!r}"
        text = shown.decode("utf-8")
        frame = [line for line in text.split("\r\n") if line[:1] in ("|", "+")]
        widths = {len(line) for line in frame}
        assert len(widths) == 1 and widths.pop() <= 40, f"frame lines of {sorted(len(l) for l in frame)}: {frame}"
        inside = "".join(line[2:-2].rstrip() for line in frame if line.startswith("|"))
        wanted = 'Can\'t open "é\\x1B[2J\\nx' + "y" * 150 + '"'
        assert wanted.replace(" ", "") in inside.replace(" ", ""), inside


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    program = os.path.abspath(parser.parse_args().program)
    passed = failed = 0
    for test in (test_without_terminal, test_on_terminal, test_awkward_name_on_a_narrow_terminal):
        try:
            test(program)
            passed += 1
            print(f"ok   {test.__name__}")
        except AssertionError as problem:
            failed += 1
            print(f"FAIL {test.__name__}: {problem}")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
